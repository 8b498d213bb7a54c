// Gorsewatch5.exe under Wine when its start-up goes wrong: no engine, an
// engine whose objects cannot be made, spoiled definitions, and an install
// path that is no folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "client/main/main_test_support.h"
#include "olvex/olvex.h"

namespace olvex::testing {
namespace {

// The pest database's error for a data folder, asked of the built engine in
// this process: what the program must show.
struct EngineError {
    long number = 0;
    std::wstring text;
};

std::optional<EngineError> PestDatabaseError(const fs::path& data_folder) {
    const LoadedEngine engine;
    IClassFactory* factory = nullptr;
    if (!engine.loaded() || FAILED(engine.GetClassObject(CLSID_PestDatabase, IID_IClassFactory,
                                                         reinterpret_cast<void**>(&factory))))
        return std::nullopt;
    IPestDatabase* database = nullptr;
    const HRESULT made =
        factory->CreateInstance(nullptr, IID_IPestDatabase, reinterpret_cast<void**>(&database));
    factory->Release();
    if (FAILED(made) || database == nullptr)
        return std::nullopt;
    BSTR folder = SysAllocString(data_folder.wstring().c_str());
    VARIANT_BOOL ok = VARIANT_TRUE;
    database->Initialize(folder, &ok);
    SysFreeString(folder);
    EngineError error;
    BSTR text = nullptr;
    database->get_nLastError(&error.number);
    database->get_bsLastError(&text);
    if (text != nullptr)
        error.text = text;
    SysFreeString(text);
    database->Release();
    if (ok == VARIANT_TRUE)
        return std::nullopt;
    return error;
}

// Clicks every shown, enabled control of every page and closes whatever
// dialog a click opens; the window must answer after each click.
void ClickEveryPageControl(Gorsewatch5Process& program) {
    const HWND frame = program.main_window();
    for (const WPARAM page : {1, 2, 3}) {
        ASSERT_TRUE(gui::SendWindowMessage(frame, 1028, page, 0).completed);
        const HWND shown = program.ShownPage();
        ASSERT_NE(shown, nullptr);
        std::vector<int> ids;
        for (const auto& child : gui::ListChildren(shown)) {
            if (child.visible && child.enabled && child.parent == shown)
                ids.push_back(child.id);
        }
        ASSERT_FALSE(ids.empty());
        for (const int id : ids) {
            SCOPED_TRACE("page " + std::to_string(page) + ", control " + std::to_string(id));
            gui::SendWindowMessage(frame, 1028, page, 0);
            const HWND control = GetDlgItem(program.ShownPage(), id);
            ASSERT_NE(control, nullptr);
            wchar_t name[64] = {};
            GetClassNameW(control, name, 64);
            // The click is sent, not posted: a send that returns means the
            // click has been handled and opened nothing that is still up; one
            // that is still running sits in the modal loop of what it opened.
            // (A posted click could still wait in the queue behind any later
            // sent message.)
            bool handled = false;
            if (std::wstring(name) == L"Button") {
                handled = gui::SendWindowMessage(control, BM_CLICK, 0, 0, 1000).completed;
            } else {
                RECT client{};
                GetClientRect(control, &client);
                const LPARAM middle = MAKELPARAM(client.right / 2, client.bottom / 2);
                gui::SendWindowMessage(control, WM_LBUTTONDOWN, MK_LBUTTON, middle, 1000);
                handled = gui::SendWindowMessage(control, WM_LBUTTONUP, 0, middle, 1000).completed;
            }
            if (!handled)
                gui::WaitUntil([&] { return !DialogsOf(program.id()).empty(); }, 10000);
            // A message over a dialog closes first: the dialog under it can
            // end only once its modal loop has, so close in rounds.
            for (int round = 0; round < 5 && !DialogsOf(program.id()).empty(); ++round) {
                for (const HWND dialog : DialogsOf(program.id()))
                    gui::PostWindowMessage(dialog, WM_CLOSE, 0, 0);
                gui::WaitUntil([&] { return DialogsOf(program.id()).empty(); }, 5000);
            }
            EXPECT_TRUE(DialogsOf(program.id()).empty());
            ASSERT_TRUE(program.running());
        }
    }
}

TEST(ErrorPathsTest, StartUpFailuresAreShownAndTheWindowFollowsWhereItCan) {
    struct Case {
        const char* name;
        InstallOptions options;
        std::function<void(const TestInstall&)> prepare;
        // Messages in order.
        std::vector<std::wstring> messages;
        bool window = true;
        bool click_every_control = false;
        // The pest database's own error for the install's definitions comes
        // first.
        bool database_error = false;
    };
    std::vector<Case> cases;
    cases.push_back({"no engine anywhere",
                     {.engine = EngineCopy::kNone},
                     nullptr,
                     {L"Error! olvex.dll is damaged and could not be repaired! This may be due to "
                      L"Kelvan Gorsewatch being run from an account that has insufficient "
                      L"permissions to do the repair, or the file being in use by another "
                      L"application that also uses olvex.dll."},
                     false});
    cases.push_back({"failing class factory",
                     {.engine = EngineCopy::kStub},
                     nullptr,
                     {L"Error! OLVEX component is not correctly installed!"},
                     true,
                     true});
    cases.push_back({"install path missing",
                     {},
                     [](const TestInstall& install) { install.RemoveInstallPath(); },
                     {}});
    cases.push_back({"install path a number",
                     {},
                     [](const TestInstall& install) { install.SetInstallPathNumber(1); },
                     {}});
    cases.push_back({"install path a missing folder",
                     {},
                     [](const TestInstall& install) {
                         install.SetInstallPath("C:\\No Such Folder\\Kelvan Gorsewatch\\");
                     },
                     {}});
    cases.push_back({"corrupt qzfile.dat",
                     {.definitions = Definitions::kCorruptFile},
                     nullptr,
                     {},
                     true,
                     false,
                     true});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TestInstall install(c.options);
        if (c.prepare)
            c.prepare(install);
        std::vector<std::wstring> messages = c.messages;
        if (c.database_error) {
            // The engine's own number and text, with the data folder's path.
            const auto error = PestDatabaseError(install.folder() / "core");
            ASSERT_TRUE(error) << "the spoiled definitions load";
            EXPECT_NE(error->text.find(L"qzfile.dat"), std::wstring::npos) << Narrow(error->text);
            messages.insert(messages.begin(), L"Error! Database init failed (Error " +
                                                  std::to_wstring(error->number) + L": " +
                                                  error->text + L")!");
        }
        Gorsewatch5Process program;
        ASSERT_TRUE(program.Start(install));
        const std::string shot = std::string("error-") + c.name;
        for (std::size_t i = 0; i < messages.size(); ++i) {
            const auto text = program.AnswerMessage(i == 0 ? shot + "-message" : std::string());
            ASSERT_TRUE(text) << "message " << i << " did not come";
            EXPECT_EQ(*text, messages[i]);
        }
        if (!c.window) {
            EXPECT_TRUE(program.WaitForExit(10000)) << "the program goes on";
            EXPECT_EQ(gui::FindTopLevelWindow({.title = kMainTitle, .process_id = program.id()}),
                      nullptr);
            continue;
        }
        const HWND frame = program.WaitForMainWindow();
        ASSERT_NE(frame, nullptr);
        // The scanner reads the same spoiled definitions: its message may
        // follow. The window stays.
        for (int more = 0; c.database_error && more < 2 && !program.WaitUntilIdle(); ++more) {
            const auto text = program.AnswerMessage();
            ASSERT_TRUE(text);
            EXPECT_EQ(text->rfind(L"Error! Scanner init failed (Error ", 0), 0u) << Narrow(*text);
        }
        ASSERT_TRUE(program.WaitUntilIdle()) << "another message";
        ScreenshotWhenDrawn(frame, shot + "-window");
        if (c.click_every_control) {
            ClickEveryPageControl(program);
            gui::SendWindowMessage(frame, 1028, 1, 0);
            ScreenshotWhenDrawn(frame, shot + "-after-clicks");
        }
        EXPECT_TRUE(program.Close());
    }
}

TEST(ErrorPathsTest, ASpoiledDatabaseIsTriedThreeTimesBeforeItsMessage) {
    const TestInstall install({.definitions = Definitions::kCorruptFile});
    Gorsewatch5Process program;
    const DWORD started = GetTickCount();
    ASSERT_TRUE(program.Start(install));
    const HWND frame = program.WaitForMainWindow();
    ASSERT_NE(frame, nullptr);
    const HWND message = program.WaitForMessageDialog();
    ASSERT_NE(message, nullptr);
    // Three tries, each followed by 200 ms: the message cannot come sooner
    // after the start, however slowly this test sees the window.
    EXPECT_GE(GetTickCount() - started, 600u);
    for (int answered = 0; answered < 3 && !program.WaitUntilIdle(); ++answered)
        ASSERT_TRUE(program.AnswerMessage());
    EXPECT_TRUE(program.WaitUntilIdle());
    EXPECT_TRUE(program.Close());
}

}  // namespace
}  // namespace olvex::testing
