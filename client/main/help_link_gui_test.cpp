// The pages' Help links, in the test build of Gorsewatch5.exe, which records
// what it would open with the shell: each opens the help file of the install
// folder; on the configuration page nothing happens while the updater's
// window is open, and its navigation links stay put.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/main/main_test_support.h"
#include "client/main/test_hooks.h"

namespace olvex::testing {
namespace {

TEST(HelpLinkTest, EachPageOpensTheHelpFileOfTheInstallFolder) {
    const TestInstall install({.test_build = true});
    const ScratchDir scratch;
    const fs::path shell_log = scratch.path() / "opened.txt";
    SetEnvironmentVariableW(kTestShellLogVariable, shell_log.wstring().c_str());
    Gorsewatch5Process program;
    ASSERT_TRUE(program.Start(install));
    SetEnvironmentVariableW(kTestShellLogVariable, nullptr);
    const HWND frame = program.WaitForMainWindow();
    ASSERT_NE(frame, nullptr);
    ASSERT_TRUE(program.WaitUntilIdle());

    const std::string help = install.folder().string() + "\\KvQZHelp.chm";
    std::vector<std::string> expected;
    for (const auto& [page, link] : {std::pair{1, 1093}, std::pair{2, 1095}, std::pair{3, 1097}}) {
        SCOPED_TRACE(page);
        gui::SendWindowMessage(frame, 1028, static_cast<WPARAM>(page), 0);
        ASSERT_TRUE(gui::ClickControl(program.PageControl(link)));
        expected.push_back(help);
        EXPECT_TRUE(
            gui::WaitUntil([&] { return gui::ReadLines(shell_log.wstring()) == expected; }, 5000))
            << ReadText(shell_log);
    }

    // With the updater's window open the configuration page does nothing.
    gui::RunningProgram updater;
    ASSERT_TRUE(
        gui::StartWhenReady(updater, gui::Quote(gui::GuiProgramPath(L"stand_in.exe")) +
                                         L" --title \"Kelvan Gorsewatch -- Updates\" --log " +
                                         gui::Quote((scratch.path() / "updater.log").wstring())));
    for (const int link : {1097, 1034, 1035}) {
        SCOPED_TRACE(link);
        ASSERT_TRUE(gui::ClickControl(program.PageControl(link)));
        gui::SendWindowMessage(frame, WM_NULL, 0, 0);
        EXPECT_EQ(program.PageControl(1036) != nullptr, true);
    }
    EXPECT_EQ(gui::ReadLines(shell_log.wstring()), expected);
    updater.End();
    EXPECT_TRUE(program.Close());
}

}  // namespace
}  // namespace olvex::testing
