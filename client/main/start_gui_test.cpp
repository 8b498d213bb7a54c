// Gorsewatch5.exe under Wine on a display of its own, with the real engine in
// a test install: its start, a second start, its pages and the messages that
// switch them, its Sound Options, the desktop shortcut and its end.
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <string>
#include <vector>

#include "client/main/main_test_support.h"

namespace olvex::testing {
namespace {

constexpr int kBannerControls[] = {1265, 1267, 1268, 1269, 1270, 1271, 1272};

struct PageFacts {
    int number;
    int template_id;
    int own_link;  // the navigation link of the page itself
    const char* screenshot;
    std::vector<int> content;
};

std::vector<int> Range(int first, int last) {
    std::vector<int> ids;
    for (int id = first; id <= last; ++id)
        ids.push_back(id);
    return ids;
}

std::vector<PageFacts> Pages() {
    std::vector<int> home = {1000, 1001, 1002, 1003, 1004, 1005, 1007, 1008,
                             1010, 1012, 1013, 1014, 1015, 1016, 1093, 1094};
    std::vector<int> scan = Range(1017, 1034);
    scan.insert(scan.end(), {1095, 1096});
    std::vector<int> configuration = Range(1034, 1052);
    configuration.insert(configuration.end(), {1097, 1098});
    return {{1, 101, 1014, "page-1-home", home},
            {2, 139, 1030, "page-2-scan", scan},
            {3, 141, 1036, "page-3-configuration", configuration}};
}

// Which page the window shows: the number whose own link (on no other
// page) the shown page has.
int ShownPageNumber(const Gorsewatch5Process& program) {
    const HWND page = program.ShownPage();
    if (page == nullptr || !IsWindowVisible(page))
        return 0;
    for (const PageFacts& facts : Pages()) {
        if (GetDlgItem(page, facts.own_link) != nullptr)
            return facts.number;
    }
    return 0;
}

bool ShowsPage(const Gorsewatch5Process& program, int number) {
    return gui::WaitUntil([&] { return ShownPageNumber(program) == number; }, 5000);
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

bool IsMachineId(const std::string& text) {
    return text.size() == 32 && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
           });
}

// The page's banner is hidden and its content 60 pixels higher than the
// template puts it.
void ExpectLaidOutWithoutBanner(const Gorsewatch5Process& program, const PageFacts& facts) {
    SCOPED_TRACE(facts.screenshot);
    const HWND page = program.ShownPage();
    ASSERT_NE(page, nullptr);
    for (const int id : kBannerControls) {
        const HWND control = GetDlgItem(page, id);
        ASSERT_NE(control, nullptr) << id;
        EXPECT_FALSE(IsWindowVisible(control)) << id;
        EXPECT_FALSE(IsWindowEnabled(control)) << id;
    }
    const TemplateLayout layout = LayOutTemplate(facts.template_id);
    ASSERT_FALSE(layout.controls.empty());
    for (const int id : facts.content) {
        const HWND control = GetDlgItem(page, id);
        const auto in_template = layout.Control(id);
        ASSERT_NE(control, nullptr) << id;
        ASSERT_TRUE(in_template) << id;
        const RECT shown = gui::RectIn(control, page);
        EXPECT_EQ(shown.top, in_template->top - 60) << id;
        EXPECT_EQ(shown.left, in_template->left) << id;
        EXPECT_EQ(shown.bottom - shown.top, in_template->bottom - in_template->top) << id;
    }
}

class StartTest : public ::testing::Test {
  protected:
    TestInstall install_;
};

TEST_F(StartTest, StartsWithTheHomePageAndNoMessageAndEndsWhenClosed) {
    // Files of others where the program tests that it may write: its test
    // files have names of their own and leave these alone.
    const fs::path others[] = {install_.folder() / "temp.tmp",
                               ShellFolder(CSIDL_COMMON_APPDATA) / "temp.tmp"};
    const FilesPutBack put_back({others[0], others[1]});
    for (const fs::path& other : others)
        WriteText(other, "someone else's");

    Gorsewatch5Process program;
    ASSERT_TRUE(program.Start(install_));
    const HWND frame = program.WaitForMainWindow();
    ASSERT_NE(frame, nullptr);
    ASSERT_TRUE(program.WaitUntilIdle()) << "a message was shown at start-up";
    ScreenshotWhenDrawn(frame, "start-home-page");

    EXPECT_EQ(gui::GetText(frame), kMainTitle);
    EXPECT_EQ(ShownPageNumber(program), 1);
    ExpectLaidOutWithoutBanner(program, Pages()[0]);
    // The frame fits the page template less the banner's 60 pixels.
    const TemplateLayout home = LayOutTemplate(101);
    RECT client{};
    GetClientRect(frame, &client);
    EXPECT_EQ(client.right, home.client.cx);
    EXPECT_EQ(client.bottom, home.client.cy - 60);
    // No sizing border, no maximize box.
    const LONG_PTR style = GetWindowLongPtrW(frame, GWL_STYLE);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);

    // The engine is registered, in the shared folder or the install folder.
    const auto class_id = ClassesString(L"olvex.Scanner\\CLSID");
    ASSERT_TRUE(class_id);
    const auto server = ClassesString(L"CLSID\\" + *class_id + L"\\InprocServer32");
    ASSERT_TRUE(server);
    EXPECT_TRUE(Lower(*server) == Lower(SharedEngineCopy().wstring()) ||
                Lower(*server) == Lower((install_.folder() / "olvex.dll").wstring()))
        << Narrow(*server);
    EXPECT_TRUE(ClassesKeyExists(L"olvex\\KelvanGorsewatch"));

    // The settings with a new machine id, which the temporary folder holds too.
    const std::vector<std::string> lines = gui::ReadLines(SettingsFile().wstring());
    ASSERT_EQ(lines.size(), 5u) << ReadText(SettingsFile());
    EXPECT_EQ(lines[0], "errorsound=0");
    EXPECT_EQ(lines[1], "donesound=0");
    EXPECT_EQ(lines[2], "prevresearch=0");
    ASSERT_EQ(lines[3].rfind("guid=", 0), 0u);
    const std::string id = lines[3].substr(5);
    EXPECT_TRUE(IsMachineId(id)) << id;
    EXPECT_EQ(lines[4], "truncate=0");
    EXPECT_EQ(ReadText(MachineIdFile()), id);
    EXPECT_EQ(ServiceState(L"Schedule"), static_cast<DWORD>(SERVICE_RUNNING));
    for (const fs::path& other : others)
        EXPECT_EQ(ReadText(other), "someone else's") << other.string();
    // Nor are its own test files left behind.
    for (const fs::path& folder : {install_.folder(), ShellFolder(CSIDL_COMMON_APPDATA)}) {
        for (const auto& entry : fs::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            EXPECT_FALSE(name.rfind("tmp", 0) == 0 && entry.path().extension() == ".tmp")
                << entry.path().string();
        }
    }

    const DWORD closing = GetTickCount();
    EXPECT_TRUE(program.Close(5000));
    EXPECT_LT(GetTickCount() - closing, 5000u);
}

// A settings file far too large to be one (here: its machine id among
// lines of junk, 3 MB in all) is replaced with a sound one that keeps the
// machine id and the settings; the old file stays beside it, byte for byte,
// and a second such file finds the first one's place taken and goes beside
// it under a name of its own.
TEST_F(StartTest, ATooLargeSettingsFileKeepsTheMachineIdAndStaysBesideTheNewOne) {
    constexpr char kId[] = "00112233445566778899AABBCCDDEEFF";
    const fs::path aside[] = {fs::path(SettingsFile().string() + ".old"),
                              fs::path(SettingsFile().string() + ".old2")};
    const FilesPutBack put_back({aside[0], aside[1]});
    std::error_code ignored;
    for (const fs::path& path : aside)
        fs::remove(path, ignored);
    // No other copy of the id to fall back on.
    fs::remove(MachineIdFile(), ignored);
    std::string oversized = "errorsound=1\r\n";
    for (int i = 0; i < 30000; ++i)
        oversized += "junk line " + std::string(90, 'x') + "\r\n";
    oversized += std::string("guid=") + kId + "\r\n" + std::string(1000000, 'y');

    for (const fs::path& kept : aside) {
        SCOPED_TRACE(kept.string());
        WriteText(SettingsFile(), oversized);
        Gorsewatch5Process program;
        ASSERT_TRUE(program.Start(install_));
        const HWND frame = program.WaitForMainWindow();
        ASSERT_NE(frame, nullptr);
        ASSERT_TRUE(program.WaitUntilIdle()) << "a message was shown at start-up";
        ScreenshotWhenDrawn(frame, "oversized-settings-start");

        const std::vector<std::string> lines = gui::ReadLines(SettingsFile().wstring());
        ASSERT_EQ(lines.size(), 5u) << ReadText(SettingsFile()).substr(0, 200);
        EXPECT_EQ(lines[0], "errorsound=1");
        EXPECT_EQ(lines[3], std::string("guid=") + kId);
        EXPECT_EQ(ReadText(MachineIdFile()), kId);
        EXPECT_TRUE(ReadText(kept) == oversized) << "the old file is not kept whole";
        EXPECT_TRUE(program.Close(5000));
    }
}

TEST_F(StartTest, ASecondStartBringsTheFirstToTheFrontAndTouchesNothing) {
    Gorsewatch5Process first;
    ASSERT_TRUE(first.Start(install_));
    const HWND frame = first.WaitForMainWindow();
    ASSERT_NE(frame, nullptr);
    ASSERT_TRUE(first.WaitUntilIdle());
    gui::PostWindowMessage(frame, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(gui::WaitUntil([&] { return IsIconic(frame) != FALSE; }, 5000));

    // What a second start must not touch.
    std::error_code ignored;
    fs::remove(MachineIdFile(), ignored);
    const std::string settings = ReadText(SettingsFile());
    const auto settings_time = fs::last_write_time(SettingsFile());
    const bool log_existed = fs::exists(ProductDataFolder() / "QZv5Log.txt");

    Gorsewatch5Process second;
    const DWORD started = GetTickCount();
    ASSERT_TRUE(second.Start(install_));
    bool second_window = false;
    while (second.running() && GetTickCount() - started < 15000) {
        for (const auto& window : gui::ListTopLevelWindows())
            second_window = second_window || (window.process_id == second.id() && window.visible);
        Sleep(20);
    }
    const auto code = second.WaitForExit(0);
    ASSERT_TRUE(code) << "the second start still runs";
    EXPECT_LT(GetTickCount() - started, 10000u);
    EXPECT_FALSE(second_window);
    EXPECT_FALSE(fs::exists(MachineIdFile()));
    EXPECT_EQ(ReadText(SettingsFile()), settings);
    EXPECT_EQ(fs::last_write_time(SettingsFile()), settings_time);
    EXPECT_EQ(fs::exists(ProductDataFolder() / "QZv5Log.txt"), log_existed);

    // The first one is restored and in front.
    EXPECT_TRUE(gui::WaitUntil([&] { return !IsIconic(frame) && IsWindowVisible(frame); }, 5000));
    EXPECT_TRUE(gui::WaitUntil([&] { return GetForegroundWindow() == frame; }, 5000));
    ScreenshotWhenDrawn(frame, "second-start-first-in-front");
    EXPECT_TRUE(first.Close());
}

TEST_F(StartTest, PageMessagesAndLinksSwitchPages) {
    Gorsewatch5Process program;
    ASSERT_TRUE(program.Start(install_));
    const HWND frame = program.WaitForMainWindow();
    ASSERT_NE(frame, nullptr);
    ASSERT_TRUE(program.WaitUntilIdle());

    for (const PageFacts& facts : Pages()) {
        gui::SendWindowMessage(frame, 1028, static_cast<WPARAM>(facts.number), 0);
        ASSERT_TRUE(ShowsPage(program, facts.number)) << facts.number;
        ExpectLaidOutWithoutBanner(program, facts);
        // Exactly one page shows.
        int shown = 0;
        for (HWND child = GetWindow(frame, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT))
            shown += IsWindowVisible(child) ? 1 : 0;
        EXPECT_EQ(shown, 1);
        ScreenshotWhenDrawn(frame, facts.screenshot);
    }

    // Numbers that are no page change nothing.
    gui::SendWindowMessage(frame, 1028, 2, 0);
    ASSERT_TRUE(ShowsPage(program, 2));
    for (const WPARAM number : {0, 4, 7}) {
        gui::SendWindowMessage(frame, 1028, number, 0);
        gui::SendWindowMessage(frame, WM_NULL, 0, 0);
        EXPECT_EQ(ShownPageNumber(program), 2) << number;
    }
    // 1030 and 1031 show the configuration page.
    for (const UINT message : {1030u, 1031u}) {
        gui::SendWindowMessage(frame, 1028, 1, 0);
        ASSERT_TRUE(ShowsPage(program, 1));
        gui::SendWindowMessage(frame, message, 0, 0);
        EXPECT_TRUE(ShowsPage(program, 3)) << message;
    }

    // The navigation links: from each page to each other one; the page's own
    // link is no link.
    struct Click {
        int from;
        int link;
        int to;
    };
    const Click clicks[] = {{3, 1034, 1}, {1, 1014, 1}, {1, 1015, 2}, {2, 1030, 2}, {2, 1031, 3},
                            {3, 1036, 3}, {3, 1035, 2}, {2, 1029, 1}, {1, 1016, 3}};
    for (const Click& click : clicks) {
        SCOPED_TRACE(click.link);
        ASSERT_EQ(ShownPageNumber(program), click.from);
        ASSERT_TRUE(gui::ClickControl(program.PageControl(click.link)));
        gui::SendWindowMessage(frame, WM_NULL, 0, 0);
        EXPECT_TRUE(ShowsPage(program, click.to));
    }

    // Each page's About link opens the About dialog.
    for (const auto& [page, about] : {std::pair{1, 1094}, std::pair{2, 1096}, std::pair{3, 1098}}) {
        gui::SendWindowMessage(frame, 1028, static_cast<WPARAM>(page), 0);
        ASSERT_TRUE(ShowsPage(program, page));
        ASSERT_TRUE(gui::ClickControl(program.PageControl(about)));
        const HWND dialog = gui::FindDialog(
            {.title = std::wstring(L"Kelvan Gorsewatch -- About"), .process_id = program.id()},
            10000);
        ASSERT_NE(dialog, nullptr) << page;
        if (page == 1)
            ScreenshotWhenDrawn(dialog, "about-dialog");
        EXPECT_TRUE(PressDialogButton(dialog, IDOK));
        EXPECT_TRUE(gui::WaitForWindowGone(dialog, 5000));
    }
    EXPECT_TRUE(program.Close());
}

TEST_F(StartTest, SoundOptionsChosenAreWrittenWhenTheProgramCloses) {
    Gorsewatch5Process program;
    ASSERT_TRUE(program.Start(install_));
    const HWND frame = program.WaitForMainWindow();
    ASSERT_NE(frame, nullptr);
    ASSERT_TRUE(program.WaitUntilIdle());
    gui::SendWindowMessage(frame, 1028, 3, 0);
    ASSERT_TRUE(ShowsPage(program, 3));
    ASSERT_TRUE(gui::ClickControl(program.PageControl(1041)));
    const HWND dialog = gui::FindDialog(
        {.title = std::wstring(L"Kelvan Gorsewatch -- Sound Options"), .process_id = program.id()},
        10000);
    ASSERT_NE(dialog, nullptr);
    const HWND errors = gui::FindChild(dialog, 1105);
    const HWND done = gui::FindChild(dialog, 1106);
    EXPECT_EQ(gui::GetCheck(errors), BST_UNCHECKED);
    EXPECT_EQ(gui::GetCheck(done), BST_UNCHECKED);
    EXPECT_EQ(gui::GetText(gui::FindChild(dialog, 1104)),
              L"Please select your sound options below:");
    ASSERT_TRUE(gui::ClickButton(errors));
    ASSERT_TRUE(gui::ClickButton(done));
    ASSERT_TRUE(gui::WaitUntil(
        [&] { return gui::GetCheck(errors) == BST_CHECKED && gui::GetCheck(done) == BST_CHECKED; },
        5000));
    ScreenshotWhenDrawn(dialog, "sound-options");
    ASSERT_TRUE(PressDialogButton(dialog, IDOK));
    ASSERT_TRUE(gui::WaitForWindowGone(dialog, 5000));
    ASSERT_TRUE(program.Close());

    const std::vector<std::string> lines = gui::ReadLines(SettingsFile().wstring());
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "errorsound=1");
    EXPECT_EQ(lines[1], "donesound=1");
}

// A shortcut file and where it leads.
struct Shortcut {
    std::wstring target;
    std::wstring arguments;
};

bool WriteShortcut(const fs::path& file, const fs::path& target) {
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return false;
    IPersistFile* persist = nullptr;
    bool saved =
        SUCCEEDED(link->SetPath(target.c_str())) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
        SUCCEEDED(persist->Save(file.c_str(), TRUE));
    if (persist != nullptr)
        persist->Release();
    link->Release();
    return saved;
}

std::optional<Shortcut> ReadShortcut(const fs::path& file) {
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return std::nullopt;
    IPersistFile* persist = nullptr;
    std::optional<Shortcut> shortcut;
    wchar_t target[MAX_PATH] = {};
    wchar_t arguments[MAX_PATH] = {};
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
        SUCCEEDED(persist->Load(file.c_str(), STGM_READ)) &&
        SUCCEEDED(link->GetPath(target, MAX_PATH, nullptr, 0)) &&
        SUCCEEDED(link->GetArguments(arguments, MAX_PATH)))
        shortcut = Shortcut{target, arguments};
    if (persist != nullptr)
        persist->Release();
    link->Release();
    return shortcut;
}

TEST_F(StartTest, TheDesktopShortcutLeadsToTheSuiteOnlyWhenTheSuiteHoldsItsProgram) {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    const fs::path desktop = ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
    const fs::path shortcut = desktop / "Kelvan Gorsewatch.lnk";
    const FilesPutBack put_back({shortcut});
    const fs::path suite_key_folder = L"C:\\Program Files\\Suite Named By Key";
    const fs::path parent = install_.folder().parent_path();
    const fs::path other_program = L"C:\\windows\\notepad.exe";

    enum class SuiteFolder { kFromKey, kParent };
    struct Case {
        const char* name;
        SuiteFolder suite;
        bool suite_program;  // trombo.exe in the suite folder
        bool points_here;    // the shortcut leads to the installed program
        bool re_pointed;
    };
    const Case cases[] = {
        {"suite named by its key", SuiteFolder::kFromKey, true, true, true},
        {"suite is the install folder's parent", SuiteFolder::kParent, true, true, true},
        {"no suite program", SuiteFolder::kFromKey, false, true, false},
        {"no suite program in the parent", SuiteFolder::kParent, false, true, false},
        {"a shortcut to another program", SuiteFolder::kFromKey, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path suite = c.suite == SuiteFolder::kFromKey ? suite_key_folder : parent;
        std::error_code ignored;
        fs::create_directories(suite);
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Vorandel\\Kelvan Suite Personal");
        if (c.suite == SuiteFolder::kFromKey) {
            HKEY key = nullptr;
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Vorandel\\Kelvan Suite Personal", 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
            const std::string path = suite.string();  // without a backslash: it is added
            RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                           static_cast<DWORD>(path.size() + 1));
            RegCloseKey(key);
        }
        const fs::path suite_program = suite / "trombo.exe";
        fs::remove(suite_program, ignored);
        if (c.suite_program)
            WriteText(suite_program, "MZ");
        const fs::path target = c.points_here ? install_.program() : other_program;
        ASSERT_TRUE(WriteShortcut(shortcut, target));

        Gorsewatch5Process program;
        ASSERT_TRUE(program.Start(install_));
        ASSERT_NE(program.WaitForMainWindow(), nullptr);
        ASSERT_TRUE(program.WaitUntilIdle());
        EXPECT_TRUE(program.Close());

        const auto read = ReadShortcut(shortcut);
        ASSERT_TRUE(read);
        if (c.re_pointed) {
            EXPECT_EQ(Lower(read->target), Lower(suite_program.wstring()));
            EXPECT_EQ(read->arguments, L"/t3");
        } else {
            EXPECT_EQ(Lower(read->target), Lower(target.wstring()));
            EXPECT_EQ(read->arguments, L"");
        }
        fs::remove(suite_program, ignored);
        fs::remove(shortcut, ignored);
    }
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Vorandel\\Kelvan Suite Personal");
    std::error_code ignored;
    fs::remove(suite_key_folder, ignored);
    CoUninitialize();
}

}  // namespace
}  // namespace olvex::testing
