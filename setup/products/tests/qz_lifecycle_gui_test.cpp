// The steps of this product's life on a machine that need its windows, run
// by qz_lifecycle_gui_test.sh between its install and its removal through
// the suite's setup: the installed Start-menu shortcut opens the main
// window; the Active Protection settings make the background protection
// start with Windows and start it; a scheduled scan is made.
#include <windows.h>
#include <mstask.h>
#include <objbase.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "client/main/active_protection_dialog_ids.h"
#include "testing/gui/window_driver.h"

namespace olvex::testing {
namespace {

constexpr wchar_t kMainTitle[] = L"Kelvan Gorsewatch by Brackwith";
constexpr wchar_t kSettingsTitle[] = L"Kelvan Gorsewatch -- Active Protection Settings";
constexpr wchar_t kProtectionTitle[] = L"Kelvan Gorsewatch -- Active Protection";
constexpr int kShownPageId = 0xE900;
constexpr int kActiveProtectionLink = 1038;
constexpr UINT kShowPage = 1028;  // wParam 3: the configuration page

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

// A daily scan as the main program's Schedule dialog makes it: a work item
// named after the product's scans that runs the installed scanner.
TEST(ProductLifecycle, ADailyScanIsScheduled) {
    const std::wstring scanner = Environment(L"QZ_INSTALLED_SCANNER");
    ASSERT_FALSE(scanner.empty());
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ITaskScheduler* scheduler = nullptr;
    ASSERT_TRUE(
        SUCCEEDED(CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_ITaskScheduler, reinterpret_cast<void**>(&scheduler))));
    ITask* task = nullptr;
    ASSERT_TRUE(SUCCEEDED(scheduler->NewWorkItem(L"QZv5Scan_Daily as tester at 10:00", CLSID_CTask,
                                                 IID_ITask, reinterpret_cast<IUnknown**>(&task))));
    EXPECT_TRUE(SUCCEEDED(task->SetApplicationName(scanner.c_str())));
    EXPECT_TRUE(SUCCEEDED(task->SetParameters(L"/quarantine")));
    WORD index = 0;
    ITaskTrigger* trigger = nullptr;
    ASSERT_TRUE(SUCCEEDED(task->CreateTrigger(&index, &trigger)));
    TASK_TRIGGER when{};
    when.cbTriggerSize = sizeof(when);
    when.wBeginYear = 2024;
    when.wBeginMonth = 1;
    when.wBeginDay = 1;
    when.wStartHour = 10;
    when.TriggerType = TASK_TIME_TRIGGER_DAILY;
    when.Type.Daily.DaysInterval = 1;
    EXPECT_TRUE(SUCCEEDED(trigger->SetTrigger(&when)));
    trigger->Release();
    IPersistFile* file = nullptr;
    ASSERT_TRUE(SUCCEEDED(task->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))));
    EXPECT_TRUE(SUCCEEDED(file->Save(nullptr, TRUE)));
    file->Release();
    task->Release();
    scheduler->Release();
    CoUninitialize();
}

}  // namespace
}  // namespace olvex::testing
