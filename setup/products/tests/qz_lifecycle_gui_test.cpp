// The steps of this product's life on a machine that need its windows, run
// by qz_lifecycle_gui_test.sh between its install and its removal through
// the suite's setup: the installed Start-menu shortcut opens the main
// window; the Active Protection settings make the background protection
// start with Windows and start it; the scan page's Schedule dialog makes a
// daily scan.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "client/main/active_protection_dialog_ids.h"
#include "client/main/scan_page_ids.h"
#include "client/main/schedule_dialog_ids.h"
#include "testing/gui/window_driver.h"

namespace olvex::testing {
namespace {

constexpr wchar_t kMainTitle[] = L"Kelvan Gorsewatch by Brackwith";
constexpr wchar_t kSettingsTitle[] = L"Kelvan Gorsewatch -- Active Protection Settings";
constexpr wchar_t kProtectionTitle[] = L"Kelvan Gorsewatch -- Active Protection";
constexpr wchar_t kScheduleTitle[] = L"Kelvan Gorsewatch -- Schedule";
constexpr wchar_t kProductTitle[] = L"Kelvan Gorsewatch";
constexpr int kShownPageId = 0xE900;
constexpr int kActiveProtectionLink = 1038;
constexpr UINT kShowPage = 1028;  // wParam: 2 the scan page, 3 the configuration page
constexpr WPARAM kScanPage = 2;

std::wstring Environment(const wchar_t* name) {
    const wchar_t* value = _wgetenv(name);
    return value ? value : L"";
}

TEST(ProductLifecycle, TheStartMenuShortcutOpensTheMainWindow) {
    const std::wstring shortcut = Environment(L"QZ_START_MENU_SHORTCUT");
    ASSERT_FALSE(shortcut.empty());
    // What a click on the shortcut does: the shell opens the link.
    const auto opened = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", shortcut.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    ASSERT_GT(opened, 32) << "ShellExecute " << opened;
    const HWND main = gui::FindTopLevelWindow({.title = kMainTitle}, 60000);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(gui::WaitUntil([&] { return IsWindowVisible(main) != FALSE; }, 10000));
    Sleep(2000);  // let it paint before the picture
    gui::SaveScreenshot(main, "main-window-from-start-menu");
}

TEST(ProductLifecycle, ActiveProtectionStartsWithWindowsAndRuns) {
    const HWND main = gui::FindTopLevelWindow({.title = kMainTitle}, 30000);
    ASSERT_NE(main, nullptr);
    gui::SendWindowMessage(main, kShowPage, 3, 0);
    HWND link = nullptr;
    ASSERT_TRUE(gui::WaitUntil(
        [&] {
            link = GetDlgItem(gui::FindChild(main, kShownPageId), kActiveProtectionLink);
            return link != nullptr;
        },
        10000));
    ASSERT_TRUE(gui::ClickControl(link));
    DWORD process = 0;
    GetWindowThreadProcessId(main, &process);
    const HWND dialog = gui::FindDialog({.title = kSettingsTitle, .process_id = process}, 20000);
    ASSERT_NE(dialog, nullptr);
    const HWND on_boot = GetDlgItem(dialog, IDC_AP_ON_BOOT);
    if (gui::GetCheck(on_boot) != BST_CHECKED) {
        ASSERT_TRUE(gui::ClickButton(on_boot));
        ASSERT_TRUE(gui::WaitUntil([&] { return gui::GetCheck(on_boot) == BST_CHECKED; }, 5000));
    }
    gui::SaveScreenshot(dialog, "active-protection-settings");
    if (gui::FindTopLevelWindow({.title = kProtectionTitle}) == nullptr) {
        ASSERT_TRUE(gui::ClickButton(GetDlgItem(dialog, IDC_AP_START_STOP)));
        ASSERT_NE(gui::FindTopLevelWindow({.title = kProtectionTitle}, 30000), nullptr);
    }
    ASSERT_TRUE(gui::PressButton(dialog, IDOK));
    ASSERT_TRUE(gui::WaitForWindowGone(dialog, 30000));
    // OK with a change restarts the protection so that it reads it.
    ASSERT_NE(gui::FindTopLevelWindow({.title = kProtectionTitle}, 30000), nullptr);
    char data[512] = {};
    DWORD size = sizeof(data);
    ASSERT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                           "KelvanQZAP", RRF_RT_REG_SZ, nullptr, data, &size),
              ERROR_SUCCESS);
    EXPECT_NE(std::string(data).find("Wakenor.exe"), std::string::npos) << data;
}

// A daily scan made as a user makes it: the scan page's Schedule button, a
// quarantining scan as the current user (the question about running only
// while the user is logged in answered Yes). The product names the work item
// and points it at the installed scanner; the script reads the job back.
TEST(ProductLifecycle, ADailyScanIsScheduledFromTheScanPage) {
    const HWND main = gui::FindTopLevelWindow({.title = kMainTitle}, 30000);
    ASSERT_NE(main, nullptr);
    DWORD process = 0;
    GetWindowThreadProcessId(main, &process);
    gui::SendWindowMessage(main, kShowPage, kScanPage, 0);
    HWND schedule = nullptr;
    // Enabled once the program found the Task Scheduler running (its start-up
    // starts the service).
    ASSERT_TRUE(gui::WaitUntil(
        [&] {
            schedule = GetDlgItem(gui::FindChild(main, kShownPageId), IDC_SCAN_SCHEDULE);
            return schedule != nullptr && IsWindowVisible(schedule) && IsWindowEnabled(schedule);
        },
        30000));
    ASSERT_TRUE(gui::ClickButton(schedule));
    const HWND dialog = gui::FindDialog({.title = kScheduleTitle, .process_id = process}, 20000);
    ASSERT_NE(dialog, nullptr);
    const HWND quarantine = GetDlgItem(dialog, IDC_SCHEDULE_QUARANTINE);
    ASSERT_TRUE(gui::ClickButton(quarantine));
    ASSERT_TRUE(gui::WaitUntil([&] { return gui::GetCheck(quarantine) == BST_CHECKED; }, 5000));
    ASSERT_TRUE(gui::PressButton(dialog, IDC_SCHEDULE_NEW));
    const auto question =
        gui::AnswerDialog({.title = kProductTitle, .process_id = process}, IDYES, 20000);
    ASSERT_TRUE(question);
    EXPECT_NE(question->text.find(L"only run when the user is logged in"), std::wstring::npos)
        << question->text;
    const HWND list = GetDlgItem(dialog, IDC_SCHEDULE_LIST);
    ASSERT_TRUE(gui::WaitUntil(
        [&] { return gui::SendWindowMessage(list, LB_GETCOUNT, 0, 0).result == 1; }, 10000));
    Sleep(1000);  // let it paint before the picture
    gui::SaveScreenshot(dialog, "schedule-dialog-scheduled");
    ASSERT_TRUE(gui::PressButton(dialog, IDCANCEL));
    ASSERT_TRUE(gui::WaitForWindowGone(dialog, 20000));
}

}  // namespace
}  // namespace olvex::testing
