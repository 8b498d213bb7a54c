// Gorsewatch5.exe under Wine for an account that may not write the program's
// key: it says so, runs on, scans only and writes nothing. In a test program
// of its own, so that its prefix has never run the Task Scheduler.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "client/main/main_test_support.h"
#include "client/main/test_hooks.h"

namespace olvex::testing {
namespace {

TEST(LimitedRightsTest, TheProgramOnlyScansAndWritesNothing) {
    const TestInstall install({.test_build = true});
    // A prefix of its own: no start has run the scheduler yet.
    ASSERT_EQ(ServiceState(L"Schedule"), static_cast<DWORD>(SERVICE_STOPPED));
    {
        const ProgramKeyReadOnly read_only;
        ASSERT_TRUE(read_only.applied());
        // This Wine refuses the write: the program meets a real refusal.
        HKEY key = nullptr;
        const LONG opened = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProductKey, 0, nullptr, 0,
                                            KEY_ALL_ACCESS, nullptr, &key, nullptr);
        if (opened == ERROR_SUCCESS)
            RegCloseKey(key);
        ASSERT_EQ(opened, ERROR_ACCESS_DENIED);

        Gorsewatch5Process program;
        ASSERT_TRUE(program.Start(install));
        const auto message = program.AnswerMessage("limited-rights-message");
        ASSERT_TRUE(message);
        EXPECT_EQ(*message,
                  L"You do not have sufficient privileges to use Kelvan Gorsewatch to quarantine "
                  L"pests or manage Kelvan Gorsewatch. Kelvan Gorsewatch will continue to run, "
                  L"but you can only scan for pests.");
        const HWND frame = program.WaitForMainWindow();
        ASSERT_NE(frame, nullptr);
        ASSERT_TRUE(program.WaitUntilIdle()) << "a second message";
        ScreenshotWhenDrawn(frame, "limited-rights-window");

        // The Sounds link does nothing with limited rights...
        gui::SendWindowMessage(frame, 1028, 3, 0);
        ASSERT_TRUE(gui::ClickControl(program.PageControl(1041)));
        gui::SendWindowMessage(frame, WM_NULL, 0, 0);
        EXPECT_EQ(gui::FindDialog({.title = std::wstring(L"Kelvan Gorsewatch -- Sound Options"),
                                   .process_id = program.id()},
                                  1000),
                  nullptr);
        // Neither do Prevalence, Quarantine and Exclusions.
        for (const int link : {1040, 1043, 1044}) {
            ASSERT_TRUE(gui::ClickControl(program.PageControl(link))) << link;
            gui::SendWindowMessage(frame, WM_NULL, 0, 0);
            Sleep(1000);
            gui::SendWindowMessage(frame, WM_NULL, 0, 0);
            EXPECT_TRUE(DialogsOf(program.id()).empty()) << link;
        }
        // ...and the dialog itself only shows the choices.
        const HWND hooks = gui::FindTopLevelWindow(
            {.title = std::wstring(kTestHooksTitle), .process_id = program.id()}, 5000);
        ASSERT_NE(hooks, nullptr);
        gui::PostWindowMessage(hooks, kTestOpenSoundOptions, 0, 0);
        const HWND sounds =
            gui::FindDialog({.title = std::wstring(L"Kelvan Gorsewatch -- Sound Options"),
                             .process_id = program.id()},
                            10000);
        ASSERT_NE(sounds, nullptr);
        ScreenshotWhenDrawn(sounds, "limited-rights-sound-options");
        for (const int id : {1105, 1106, IDOK})
            EXPECT_FALSE(IsWindowEnabled(gui::FindChild(sounds, id))) << id;
        EXPECT_EQ(gui::GetCheck(gui::FindChild(sounds, 1105)), BST_UNCHECKED);
        gui::PostWindowMessage(sounds, WM_CLOSE, 0, 0);
        EXPECT_TRUE(gui::WaitForWindowGone(sounds, 5000));
        EXPECT_TRUE(program.Close());
    }
    EXPECT_FALSE(fs::exists(SettingsFile()));
    EXPECT_FALSE(fs::exists(MachineIdFile()));
    EXPECT_FALSE(fs::exists(ProductDataFolder() / "QZv5Log.txt"));
    EXPECT_EQ(ServiceState(L"Schedule"), static_cast<DWORD>(SERVICE_STOPPED));
}

}  // namespace
}  // namespace olvex::testing
