// The Active Protection Settings dialog of the real Gorsewatch5.exe under
// Wine, opened from the configuration page, with a stand-in Wakenor.exe in
// the install folder: the window stand-in with the background protection's
// title and single-instance mutex, which hides on wParam -1, closes on
// WM_CLOSE (unless told to ignore it) and logs every message.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "client/main/active_protection_dialog_ids.h"
#include "client/main/main_test_support.h"

namespace olvex::testing {
namespace {

constexpr wchar_t kDialogTitle[] = L"Kelvan Gorsewatch -- Active Protection Settings";
constexpr wchar_t kProtectionTitle[] = L"Kelvan Gorsewatch -- Active Protection";
constexpr wchar_t kProductTitle[] = L"Kelvan Gorsewatch";
constexpr wchar_t kInstallFolder[] = L"C:\\Program Files\\Kelvan Gorsewatch";
constexpr int kActiveProtectionLink = 1038;
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::optional<std::string> RunValue(const char* name) {
    char data[512] = {};
    DWORD size = sizeof(data);
    if (RegGetValueA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", name,
                     RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::string(data);
}

bool MutexExists(const char* name) {
    const HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, name);
    if (mutex == nullptr)
        return false;
    CloseHandle(mutex);
    return true;
}

class ActiveProtectionDialogTest : public ::testing::Test {
  protected:
    ActiveProtectionDialogTest() : install_(Options()), run_key_(HKEY_LOCAL_MACHINE, {kRunKey}) {
        std::error_code ignored;
        fs::remove(Settings(), ignored);
        fs::copy_file(BuildPath(OLVEX_GUI_PROGRAMS_DIR) / "stand_in.exe",
                      install_.folder() / "Wakenor.exe");
        UseStandIn("");
        // An older start-with-Windows value that opening the dialog removes.
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr);
        RegSetValueExA(key, "Kelvan Gorsewatch Active Protection", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>("x"), 2);
        RegCloseKey(key);
    }
    ~ActiveProtectionDialogTest() override {
        program_.Close();
        // Every copy of the stand-in is closed and has ended (a copy just
        // started may not have its window yet), its file free to go with the
        // install.
        gui::WaitUntil(
            [&] {
                if (const HWND window =
                        gui::FindTopLevelWindow({.title = std::wstring(kProtectionTitle)}))
                    gui::PostWindowMessage(window, WM_CLOSE, 0, 0);
                return LogLines("end") >= LogLines("start ");
            },
            45000, 200);
    }

    static InstallOptions Options() {
        InstallOptions options;
        options.folder = kInstallFolder;
        return options;
    }
    static fs::path Settings() { return ProductDataFolder() / "qzad.ini"; }
    fs::path Log() const { return install_.folder() / "Wakenor.log"; }

    // The stand-in's settings, beside its copy; the first of a setting given
    // twice counts.
    void UseStandIn(const std::string& more) {
        WriteText(install_.folder() / "Wakenor.stand-in",
                  more +
                      "title=Kelvan Gorsewatch -- Active Protection\r\n"
                      "hold-mutex=WakenorMAINAPP\r\nhide-on-minus-one=1\r\nseconds=120\r\n");
    }
    int LogLines(const std::string& start) const {
        const auto lines = gui::ReadLines(Log().wstring());
        return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const auto& line) {
            return line.rfind(start, 0) == 0;
        }));
    }
    // Wakenor started from outside, waited for.
    void StartProtection() {
        const int started = LogLines("start ");
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        const fs::path program = install_.folder() / "Wakenor.exe";
        std::wstring command = gui::Quote(program.wstring());
        ASSERT_TRUE(::olvex::testing::StartProcess(program.c_str(), command, FALSE, 0,
                                                   install_.folder().c_str(), startup, info));
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        ASSERT_TRUE(gui::WaitUntil([&] { return LogLines("start ") == started + 1; }, 10000));
        ASSERT_NE(gui::FindTopLevelWindow({.title = std::wstring(kProtectionTitle)}, 10000),
                  nullptr);
    }

    HWND OpenDialog() {
        if (!program_.running()) {
            EXPECT_TRUE(program_.Start(install_));
            EXPECT_NE(program_.WaitForMainWindow(), nullptr);
            EXPECT_TRUE(program_.WaitUntilIdle());
            gui::SendWindowMessage(program_.main_window(), 1028, 3, 0);
        }
        EXPECT_TRUE(gui::ClickControl(program_.PageControl(kActiveProtectionLink)));
        return gui::FindDialog({.title = std::wstring(kDialogTitle), .process_id = program_.id()},
                               20000);
    }
    bool Shows(HWND dialog, const std::wstring& status, const std::wstring& button) {
        return gui::WaitUntil(
            [&] {
                return gui::GetText(gui::FindChild(dialog, IDC_AP_STATUS)) == status &&
                       gui::GetText(gui::FindChild(dialog, IDC_AP_START_STOP)) == button;
            },
            10000);
    }
    void Tick(HWND dialog, int id) {
        const int before = gui::GetCheck(GetDlgItem(dialog, id));
        ASSERT_TRUE(gui::ClickButton(GetDlgItem(dialog, id)));
        ASSERT_TRUE(
            gui::WaitUntil([&] { return gui::GetCheck(GetDlgItem(dialog, id)) != before; }, 5000));
    }
    std::optional<gui::DialogContents> Answer(int button) {
        return gui::AnswerDialog(
            {.title = std::wstring(kProductTitle), .process_id = program_.id()}, button, 20000);
    }

    TestInstall install_;
    RegistrySnapshot run_key_;
    Gorsewatch5Process program_;
};

TEST_F(ActiveProtectionDialogTest, SettingsStartStopApplyAndCancel) {
    const HWND dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    // No settings file: an empty one is made; off, off, on.
    EXPECT_TRUE(fs::exists(Settings()));
    EXPECT_EQ(ReadText(Settings()), "");
    EXPECT_EQ(gui::GetCheck(GetDlgItem(dialog, IDC_AP_MEMORY)), BST_UNCHECKED);
    EXPECT_EQ(gui::GetCheck(GetDlgItem(dialog, IDC_AP_COOKIES)), BST_UNCHECKED);
    EXPECT_EQ(gui::GetCheck(GetDlgItem(dialog, IDC_AP_ON_BOOT)), BST_CHECKED);
    EXPECT_EQ(RunValue("KelvanQZAP"), "\"" + install_.folder().string() + "\\Wakenor.exe\"");
    EXPECT_FALSE(RunValue("Kelvan Gorsewatch Active Protection"));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_AP_APPLY)));
    EXPECT_TRUE(Shows(dialog, L"Active Protection is stopped", L"Start Active Protection Now"));
    ScreenshotWhenDrawn(dialog, "active-protection-dialog");

    // Start: Wakenor runs, and the status follows.
    ASSERT_TRUE(PressDialogButton(dialog, IDC_AP_START_STOP));
    ASSERT_TRUE(gui::WaitUntil([&] { return LogLines("start ") == 1; }, 15000));
    EXPECT_TRUE(Shows(dialog, L"Active Protection is not protecting your computer.",
                      L"Stop Active Protection Now"));
    // Stop, 315 answered Yes: it gets WM_CLOSE and ends.
    ASSERT_TRUE(PressDialogButton(dialog, IDC_AP_START_STOP));
    const auto question = Answer(IDYES);
    ASSERT_TRUE(question);
    EXPECT_NE(question->text.find(L"Stopping Active Protection"), std::wstring::npos);
    EXPECT_TRUE(gui::WaitUntil([&] { return LogLines("end") == 1; }, 15000));
    EXPECT_EQ(LogLines("message 16 0 0 "), 1);
    EXPECT_TRUE(Shows(dialog, L"Active Protection is stopped", L"Start Active Protection Now"));

    // Start while a window of it exists (without its mutex, the dialog still
    // offers Start): it is poked, none starts.
    WriteText(install_.folder() / "Wakenor.stand-in",
              "title=Kelvan Gorsewatch -- Active Protection\r\nhide-on-minus-one=1\r\n");
    StartProtection();
    ASSERT_TRUE(PressDialogButton(dialog, IDC_AP_START_STOP));
    EXPECT_TRUE(gui::WaitUntil([&] { return LogLines("message 1026 -1 515 ") == 1; }, 10000));
    EXPECT_FALSE(
        IsWindowVisible(gui::FindTopLevelWindow({.title = std::wstring(kProtectionTitle)})));
    EXPECT_EQ(LogLines("start "), 2);
    gui::PostWindowMessage(gui::FindTopLevelWindow({.title = std::wstring(kProtectionTitle)}),
                           WM_CLOSE, 0, 0);
    ASSERT_TRUE(gui::WaitUntil([&] { return LogLines("end") == 2; }, 10000));

    // Memory ticked and Apply: four lines, heur as it was; Cancel disabled.
    Tick(dialog, IDC_AP_MEMORY);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_AP_APPLY)));
    ASSERT_TRUE(PressDialogButton(dialog, IDC_AP_APPLY));
    ASSERT_TRUE(gui::WaitUntil([&] { return !ReadText(Settings()).empty(); }, 10000));
    EXPECT_EQ(ReadText(Settings()), "mem=on\r\ncookies=off\r\nheur=off\r\nonboot=on\r\n");
    EXPECT_TRUE(
        gui::WaitUntil([&] { return !IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)); }, 5000));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_AP_APPLY)));

    // A change, then Cancel (Esc): 292, No keeps the dialog.
    Tick(dialog, IDC_AP_COOKIES);
    gui::PostWindowMessage(dialog, WM_COMMAND, IDCANCEL, 0);
    const auto unsaved = Answer(IDNO);
    ASSERT_TRUE(unsaved);
    EXPECT_NE(unsaved->text.find(L"exit without applying"), std::wstring::npos);
    EXPECT_TRUE(IsWindow(dialog));
    gui::PostWindowMessage(dialog, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(Answer(IDYES));
    ASSERT_TRUE(gui::WaitForWindowGone(dialog, 10000));
    // Nothing of the cancelled change was saved.
    EXPECT_EQ(ReadText(Settings()), "mem=on\r\ncookies=off\r\nheur=off\r\nonboot=on\r\n");
    EXPECT_TRUE(program_.Close());
}

TEST_F(ActiveProtectionDialogTest, OkRestartsTheProtectionOnlyOnceItHasGone) {
    WriteText(Settings(), "mem=on\r\ncookies=off\r\nheur=on\r\nonboot=on\r\n");
    // Its window goes at once, its mutex two seconds later.
    UseStandIn("linger=2000\r\n");
    StartProtection();
    const HWND dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(Shows(dialog, L"Active Protection is protecting your computer.",
                      L"Stop Active Protection Now"));
    Tick(dialog, IDC_AP_COOKIES);
    Tick(dialog, IDC_AP_ON_BOOT);
    ASSERT_TRUE(PressDialogButton(dialog, IDOK));
    ASSERT_TRUE(gui::WaitForWindowGone(dialog, 30000));
    ASSERT_TRUE(gui::WaitUntil([&] { return LogLines("start ") == 2; }, 15000));
    // The new one started after the old one ended: it did not find the old
    // mutex (it would have logged "held" and ended).
    const auto lines = gui::ReadLines(Log().wstring());
    const auto first_end = std::find(lines.begin(), lines.end(), "end");
    const auto second_start = std::find_if(lines.begin() + 1, lines.end(), [](const auto& line) {
        return line.rfind("start ", 0) == 0;
    });
    EXPECT_LT(first_end - lines.begin(), second_start - lines.begin()) << ReadText(Log());
    EXPECT_EQ(LogLines("mutex WakenorMAINAPP held"), 0) << ReadText(Log());
    EXPECT_TRUE(MutexExists("WakenorMAINAPP"));
    EXPECT_EQ(ReadText(Settings()), "mem=on\r\ncookies=on\r\nheur=on\r\nonboot=off\r\n");
    EXPECT_FALSE(RunValue("KelvanQZAP"));
    EXPECT_TRUE(program_.Close());
}

TEST_F(ActiveProtectionDialogTest, AProtectionThatWillNotCloseIsReported) {
    // It ends by itself after 40 seconds.
    UseStandIn("ignore-close=all\r\nseconds=40\r\n");
    StartProtection();
    const HWND dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(Shows(dialog, L"Active Protection is not protecting your computer.",
                      L"Stop Active Protection Now"));
    ASSERT_TRUE(PressDialogButton(dialog, IDC_AP_START_STOP));
    ASSERT_TRUE(Answer(IDYES));
    const auto message = program_.AnswerMessage("active-protection-cannot-stop", 40000);
    ASSERT_TRUE(message);
    EXPECT_NE(message->find(L"Unable to stop Active Protection."), std::wstring::npos);
    EXPECT_EQ(LogLines("message 16 0 0 "), 1);
    EXPECT_EQ(LogLines("end"), 0);
    gui::PostWindowMessage(dialog, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(gui::WaitForWindowGone(dialog, 10000));
    EXPECT_TRUE(program_.Close());
}

}  // namespace
}  // namespace olvex::testing
