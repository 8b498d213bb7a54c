// The configuration page of Gorsewatch5.exe under Wine with the real engine:
// each link opens its dialog or the updater under its guard (the updater's
// window, the pest-activity mutex, the Active Protection settings mutex, the
// activity log's mutex), and a command line that asks for the quarantine and
// exclusions dialogs gets them one after the other.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "client/main/main_test_support.h"

namespace olvex::testing {
namespace {

constexpr wchar_t kQuarantineTitle[] = L"Kelvan Gorsewatch -- Manage Quarantine";
constexpr wchar_t kExclusionsTitle[] = L"Kelvan Gorsewatch -- Manage Exclusions";
constexpr wchar_t kLogTitle[] = L"Kelvan Gorsewatch -- Log";
constexpr wchar_t kPrepareLogTitle[] = L"Kelvan Gorsewatch -- Prepare Log";
constexpr wchar_t kActiveProtectionTitle[] = L"Kelvan Gorsewatch -- Active Protection Settings";
constexpr wchar_t kPrevalenceTitle[] = L"Kelvan Gorsewatch -- Prevalence Research";
constexpr wchar_t kSoundsTitle[] = L"Kelvan Gorsewatch -- Sound Options";
constexpr wchar_t kUpdaterTitle[] = L"Kelvan Gorsewatch -- Updates";

constexpr int kActiveProtectionLink = 1038;
constexpr int kUpdatesLink = 1039;
constexpr int kPrevalenceLink = 1040;
constexpr int kSoundsLink = 1041;
constexpr int kQuarantineLink = 1043;
constexpr int kExclusionsLink = 1044;
constexpr int kLogLink = 1045;

bool StartHolder(gui::RunningProgram& holder, const std::wstring& mutex, int seconds = 120) {
    return gui::StartWhenReady(holder, gui::Quote(gui::GuiProgramPath(L"mutex_holder.exe")) + L" " +
                                           mutex + L" --seconds " + std::to_wstring(seconds));
}

// Whether another process finds the named mutex there already.
bool MutexExists(const char* name) {
    const HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, name);
    if (mutex == nullptr)
        return false;
    CloseHandle(mutex);
    return true;
}

class ConfigPageTest : public ::testing::Test {
  protected:
    void StartProgram(const std::wstring& arguments = {}) {
        ASSERT_TRUE(program_.Start(install_, arguments));
        frame_ = program_.WaitForMainWindow();
        ASSERT_NE(frame_, nullptr);
    }
    void ShowConfigurationPage() {
        ASSERT_TRUE(program_.WaitUntilIdle());
        gui::SendWindowMessage(frame_, 1028, 3, 0);
        ASSERT_NE(program_.PageControl(1036), nullptr);
    }
    void Click(int link) { ASSERT_TRUE(gui::ClickControl(program_.PageControl(link))) << link; }
    HWND WaitForDialog(const wchar_t* title, DWORD timeout_ms = 10000) const {
        return gui::FindDialog({.title = std::wstring(title), .process_id = program_.id()},
                               timeout_ms);
    }
    // No dialog of the program opens: the click was taken (the window
    // answered) and a second passed without one.
    bool NothingOpens() const {
        gui::SendWindowMessage(frame_, WM_NULL, 0, 0);
        Sleep(1000);
        gui::SendWindowMessage(frame_, WM_NULL, 0, 0);
        return DialogsOf(program_.id()).empty();
    }
    void Close(HWND dialog) const {
        gui::PostWindowMessage(dialog, WM_COMMAND, IDCANCEL, 0);
        EXPECT_TRUE(gui::WaitForWindowGone(dialog, 5000));
    }

    TestInstall install_;
    Gorsewatch5Process program_;
    HWND frame_ = nullptr;
};

TEST_F(ConfigPageTest, UpdatesStartsTheUpdaterOnceAndTheOtherLinksWaitForIt) {
    // The updater is the stand-in window program under its name.
    fs::copy_file(BuildPath(OLVEX_GUI_PROGRAMS_DIR) / "stand_in.exe",
                  install_.folder() / "Pellory.exe");
    WriteText(install_.folder() / "Pellory.stand-in",
              "title=Kelvan Gorsewatch -- Updates\r\nseconds=120\r\n");
    const fs::path log = install_.folder() / "Pellory.log";
    StartProgram();
    ShowConfigurationPage();
    ScreenshotWhenDrawn(frame_, "page-3-configuration");

    Click(kUpdatesLink);
    const auto has = [&](const std::string& start) {
        const auto lines = gui::ReadLines(log.wstring());
        return std::count_if(lines.begin(), lines.end(),
                             [&](const std::string& line) { return line.rfind(start, 0) == 0; });
    };
    EXPECT_TRUE(gui::WaitUntil([&] { return has("message 1026 -1 515 ") == 1; }, 15000))
        << ReadText(log);
    const HWND updater = gui::FindTopLevelWindow({.title = std::wstring(kUpdaterTitle)}, 5000);
    ASSERT_NE(updater, nullptr);
    // The page keeps the updater's mutex once it has started it.
    EXPECT_TRUE(MutexExists("QZv5ManageViewMutex"));

    // A second press brings the running updater to the front.
    Click(kUpdatesLink);
    EXPECT_TRUE(gui::WaitUntil([&] { return has("message 1029 0 0 ") == 1; }, 10000))
        << ReadText(log);
    EXPECT_EQ(has("start "), 1);

    // While its window is open, no other link acts.
    for (const int link : {1034, 1035, kActiveProtectionLink, kPrevalenceLink, kSoundsLink,
                           kQuarantineLink, kExclusionsLink, kLogLink, 1098}) {
        SCOPED_TRACE(link);
        Click(link);
        EXPECT_TRUE(NothingOpens());
        EXPECT_NE(program_.PageControl(1036), nullptr);
    }
    EXPECT_EQ(has("start "), 1);
    gui::PostWindowMessage(updater, WM_CLOSE, 0, 0);
    ASSERT_TRUE(gui::WaitForWindowGone(updater, 10000));

    // Without it the navigation works again.
    Click(1034);
    EXPECT_TRUE(gui::WaitUntil([&] { return program_.PageControl(1014) != nullptr; }, 5000));
    EXPECT_TRUE(program_.Close());
}

TEST_F(ConfigPageTest, QuarantineAndExclusionsWaitForThePestActivityAndHoldIt) {
    StartProgram();
    ShowConfigurationPage();
    for (const auto& [link, title] : {std::pair{kQuarantineLink, kQuarantineTitle},
                                      std::pair{kExclusionsLink, kExclusionsTitle}}) {
        SCOPED_TRACE(link);
        {
            // A scan or clean runs elsewhere: nothing opens.
            gui::RunningProgram scan;
            ASSERT_TRUE(StartHolder(scan, L"GorsewatchV5PestActivity"));
            Click(link);
            EXPECT_TRUE(NothingOpens());
        }
        Click(link);
        const HWND dialog = WaitForDialog(title);
        ASSERT_NE(dialog, nullptr);
        // Another program finds the activity taken while the dialog is open.
        EXPECT_TRUE(MutexExists("GorsewatchV5PestActivity"));
        gui::RunningProgram scan;
        EXPECT_FALSE(StartHolder(scan, L"GorsewatchV5PestActivity"));
        ScreenshotWhenDrawn(
            dialog, link == kQuarantineLink ? "quarantine-stand-in" : "exclusions-stand-in");
        Close(dialog);
        EXPECT_TRUE(gui::WaitUntil([] { return !MutexExists("GorsewatchV5PestActivity"); }, 5000));
    }
    EXPECT_TRUE(program_.Close());
}

TEST_F(ConfigPageTest, CommandLineOpensQuarantineThenExclusionsEachOnce) {
    StartProgram(L"/showquarantine /showexclusions");
    const HWND quarantine = WaitForDialog(kQuarantineTitle, 60000);
    ASSERT_NE(quarantine, nullptr);
    EXPECT_NE(program_.PageControl(1036), nullptr);  // the configuration page shows
    Sleep(1500);
    EXPECT_EQ(WaitForDialog(kExclusionsTitle, 0), nullptr);
    Close(quarantine);
    const HWND exclusions = WaitForDialog(kExclusionsTitle);
    ASSERT_NE(exclusions, nullptr);
    EXPECT_EQ(WaitForDialog(kQuarantineTitle, 0), nullptr);
    Close(exclusions);
    EXPECT_TRUE(NothingOpens());
    Sleep(1000);
    EXPECT_TRUE(DialogsOf(program_.id()).empty());
    EXPECT_TRUE(program_.Close());
}

TEST_F(ConfigPageTest, LogWaitsForTheLogMutexBehindThePrepareLogWindow) {
    StartProgram();
    ShowConfigurationPage();
    {
        // The program made the log's mutex at its start: another process
        // (this one) owns it for three seconds.
        const HANDLE taken = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::atomic<bool> released{false};
        std::thread holder([&] {
            const HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "Gorsewatchv5LogMutex");
            if (mutex != nullptr && WaitForSingleObject(mutex, 10000) == WAIT_OBJECT_0) {
                SetEvent(taken);
                Sleep(3000);
                released = true;
                ReleaseMutex(mutex);
            } else {
                SetEvent(taken);
            }
            if (mutex != nullptr)
                CloseHandle(mutex);
        });
        ASSERT_EQ(WaitForSingleObject(taken, 10000), WAIT_OBJECT_0);
        CloseHandle(taken);
        const DWORD held = GetTickCount();
        Click(kLogLink);
        // The program is busy on its window's thread meanwhile: the window is
        // found and shot without a message to it.
        const HWND wait = FindShownWindow(kPrepareLogTitle, program_.id(), 5000);
        ASSERT_NE(wait, nullptr);
        Sleep(300);
        gui::SaveScreenshot(wait, "prepare-log");
        const HWND log = WaitForDialog(kLogTitle, 20000);
        holder.join();
        ASSERT_NE(log, nullptr);
        EXPECT_TRUE(released);
        EXPECT_GE(GetTickCount() - held, 2500u);
        EXPECT_FALSE(IsWindow(wait) && IsWindowVisible(wait));
        Close(log);
    }
    // Nobody holds the log: it opens at once.
    Click(kLogLink);
    const HWND log = WaitForDialog(kLogTitle);
    ASSERT_NE(log, nullptr);
    Close(log);
    EXPECT_TRUE(program_.Close());
}

TEST_F(ConfigPageTest, ActiveProtectionFollowsTheBackgroundProtectionWhileOpen) {
    const fs::path settings = ProductDataFolder() / "qzad.ini";
    std::error_code ignored;
    fs::remove(settings, ignored);
    StartProgram();
    ShowConfigurationPage();
    {
        // The background protection shows its own settings.
        gui::RunningProgram settings_open;
        ASSERT_TRUE(StartHolder(settings_open, L"QZAPSettingsDialog"));
        Click(kActiveProtectionLink);
        EXPECT_TRUE(NothingOpens());
    }
    Click(kActiveProtectionLink);
    const HWND dialog = WaitForDialog(kActiveProtectionTitle);
    ASSERT_NE(dialog, nullptr);
    const auto shows = [&](const std::wstring& status, const std::wstring& button) {
        return gui::WaitUntil(
            [&] {
                return gui::GetText(gui::FindChild(dialog, 1198)) == status &&
                       gui::GetText(gui::FindChild(dialog, 1199)) == button;
            },
            2000);
    };
    EXPECT_TRUE(shows(L"Active Protection is stopped", L"Start Active Protection Now"));
    ScreenshotWhenDrawn(dialog, "active-protection-stopped");
    // While it is open the program holds the settings mutex.
    {
        gui::RunningProgram other;
        EXPECT_FALSE(StartHolder(other, L"QZAPSettingsDialog", 1));
    }
    {
        gui::RunningProgram protection;
        WriteText(settings, "mem=on\r\ncookies=off\r\nheur=off\r\nonboot=on\r\n");
        ASSERT_TRUE(StartHolder(protection, L"WakenorMAINAPP"));
        EXPECT_TRUE(shows(L"Active Protection is protecting your computer.",
                          L"Stop Active Protection Now"));
        ScreenshotWhenDrawn(dialog, "active-protection-protecting");
        WriteText(settings, "mem=off\r\ncookies=off\r\nheur=off\r\nonboot=on\r\n");
        EXPECT_TRUE(shows(L"Active Protection is not protecting your computer.",
                          L"Stop Active Protection Now"));
    }
    EXPECT_TRUE(shows(L"Active Protection is stopped", L"Start Active Protection Now"));
    Close(dialog);
    // Closed, the settings mutex is free again.
    gui::RunningProgram other;
    EXPECT_TRUE(StartHolder(other, L"QZAPSettingsDialog", 1));
    other.End();
    EXPECT_TRUE(program_.Close());
}

TEST_F(ConfigPageTest, PrevalenceAndSoundsSaveTheSettingsAfterwards) {
    StartProgram();
    ShowConfigurationPage();
    for (const auto& [link, title] :
         {std::pair{kPrevalenceLink, kPrevalenceTitle}, std::pair{kSoundsLink, kSoundsTitle}}) {
        SCOPED_TRACE(link);
        fs::remove(SettingsFile());
        Click(link);
        const HWND dialog = WaitForDialog(title);
        ASSERT_NE(dialog, nullptr);
        EXPECT_FALSE(fs::exists(SettingsFile()));
        Close(dialog);
        EXPECT_TRUE(gui::WaitUntil([] { return fs::exists(SettingsFile()); }, 5000));
    }
    EXPECT_TRUE(program_.Close());
}

}  // namespace
}  // namespace olvex::testing
