// The Message dialog's sounds, in the test build of Gorsewatch5.exe, which
// records the sounds it would play: each sound kind against both settings,
// on the user-interface thread and on a worker thread.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/main/main_test_support.h"
#include "client/main/test_hooks.h"

namespace olvex::testing {
namespace {

// Sets a check box of a dialog of another program by clicking it.
bool SetCheck(HWND dialog, int id, bool checked) {
    const HWND box = gui::FindChild(dialog, id);
    if ((gui::GetCheck(box) == BST_CHECKED) != checked && !gui::ClickButton(box))
        return false;
    return gui::WaitUntil([&] { return (gui::GetCheck(box) == BST_CHECKED) == checked; }, 5000);
}

TEST(MessageSoundsTest, EachKindPlaysItsSoundOnlyWhenItsSettingIsOn) {
    const TestInstall install({.test_build = true});
    const ScratchDir scratch;
    const fs::path sound_log = scratch.path() / "sounds.txt";
    SetEnvironmentVariableW(kTestSoundLogVariable, sound_log.wstring().c_str());
    Gorsewatch5Process program;
    ASSERT_TRUE(program.Start(install));
    SetEnvironmentVariableW(kTestSoundLogVariable, nullptr);
    const HWND frame = program.WaitForMainWindow();
    ASSERT_NE(frame, nullptr);
    ASSERT_TRUE(program.WaitUntilIdle());
    const HWND hooks = gui::FindTopLevelWindow(
        {.title = std::wstring(kTestHooksTitle), .process_id = program.id()}, 5000);
    ASSERT_NE(hooks, nullptr);

    // Every kind with both settings on; then each setting off while the
    // other is on, and both off, for the two kinds that play; and the
    // worker thread. (Kinds 0 and 3 play nothing whatever the settings.)
    struct Row {
        bool errorsound;
        bool donesound;
        std::vector<int> kinds;
        bool worker;
    };
    const Row rows[] = {
        {true, true, {0, 1, 2, 3}, false}, {true, true, {0, 1, 2}, true},
        {false, true, {1, 2}, false},      {true, false, {1, 2}, false},
        {false, false, {1, 2}, true},
    };
    for (const Row& row : rows) {
        gui::PostWindowMessage(hooks, kTestOpenSoundOptions, 0, 0);
        const HWND options =
            gui::FindDialog({.title = std::wstring(L"Kelvan Gorsewatch -- Sound Options"),
                             .process_id = program.id()},
                            10000);
        ASSERT_NE(options, nullptr);
        ASSERT_TRUE(SetCheck(options, 1105, row.errorsound));
        ASSERT_TRUE(SetCheck(options, 1106, row.donesound));
        ASSERT_TRUE(PressDialogButton(options, IDOK));
        ASSERT_TRUE(gui::WaitForWindowGone(options, 5000));

        for (const int kind : row.kinds) {
            const std::string name = "errorsound " + std::to_string(row.errorsound) +
                                     ", donesound " + std::to_string(row.donesound) + ", kind " +
                                     std::to_string(kind) +
                                     (row.worker ? ", worker thread" : ", window thread");
            SCOPED_TRACE(name);
            std::error_code ignored;
            fs::remove(sound_log, ignored);
            gui::PostWindowMessage(hooks, kTestShowMessage, static_cast<WPARAM>(kind),
                                   row.worker ? 1 : 0);
            const HWND dialog = program.WaitForMessageDialog(10000);
            ASSERT_NE(dialog, nullptr);
            // A dialog of a worker thread has no owner; the window's
            // thread's belongs to the main window.
            EXPECT_EQ(GetWindow(dialog, GW_OWNER), row.worker ? nullptr : frame);
            if (row.errorsound && row.donesound && kind == 1)
                ScreenshotWhenDrawn(dialog, row.worker ? "message-from-worker" : "message");
            const auto text = program.AnswerMessage();
            ASSERT_TRUE(text);
            EXPECT_EQ(text->rfind(L"Test message of sound kind " + std::to_wstring(kind), 0), 0u);

            std::vector<std::string> expected;
            if (kind == 1 && row.errorsound)
                expected = {"ALARM.WAV"};
            if (kind == 2 && row.donesound)
                expected = {"DONE.WAV"};
            EXPECT_EQ(gui::ReadLines(sound_log.wstring()), expected);
        }
    }
    EXPECT_TRUE(program.Close());
}

// The scan page's two "(Click for details)" links: each shows its own text,
// with the warning sound the user left on.
TEST(MessageSoundsTest, ScanPageDetailsLinksShowTheirTexts) {
    const TestInstall install({.test_build = true});
    WriteText(SettingsFile(), "errorsound=1\r\ndonesound=0\r\nprevresearch=0\r\ntruncate=0\r\n");
    const ScratchDir scratch;
    const fs::path sound_log = scratch.path() / "sounds.txt";
    SetEnvironmentVariableW(kTestSoundLogVariable, sound_log.wstring().c_str());
    Gorsewatch5Process program;
    ASSERT_TRUE(program.Start(install));
    SetEnvironmentVariableW(kTestSoundLogVariable, nullptr);
    const HWND frame = program.WaitForMainWindow();
    ASSERT_NE(frame, nullptr);
    ASSERT_TRUE(program.WaitUntilIdle());
    gui::SendWindowMessage(frame, 1028, 2, 0);
    struct Link {
        int id;
        const wchar_t* opening;
        const char* shot;
    };
    for (const Link& link : {Link{1019,
                                  L"A Standard Scan looks in the places where pests usually "
                                  L"hide",
                                  "scan-page-standard-details"},
                             Link{1021, L"A Custom Scan does everything a Standard Scan does",
                                  "scan-page-custom-details"}}) {
        SCOPED_TRACE(link.id);
        std::error_code ignored;
        fs::remove(sound_log, ignored);
        ASSERT_TRUE(gui::ClickControl(program.PageControl(link.id)));
        const auto text = program.AnswerMessage(link.shot, 10000);
        ASSERT_TRUE(text);
        EXPECT_EQ(text->rfind(link.opening, 0), 0u) << *text;
        EXPECT_GT(text->size(), 100u) << *text;
        EXPECT_EQ(gui::ReadLines(sound_log.wstring()), std::vector<std::string>{"ALARM.WAV"});
    }
    EXPECT_TRUE(program.Close());
}

}  // namespace
}  // namespace olvex::testing
