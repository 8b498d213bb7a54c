// The anti-spam member through the real setup program under Wine, from a
// setup source of the setup root's files, the suite's programs and the
// member's folder "as", whose programs are the setup core's stand-ins: each
// start is a line of C:\standin.log. The test drives the dialogs through
// the window driver and reads the registry, the files and the shortcuts.
#include <gtest/gtest.h>
#include <windows.h>

#include <shlobj.h>
#include <tlhelp32.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "testing/gui/gui_test_support.h"
#include "testing/gui/window_driver.h"

namespace olvex::gui {
namespace {

namespace fs = std::filesystem;

constexpr wchar_t kSource[] = L"C:\\sources\\antispam";
constexpr wchar_t kStandinLog[] = L"C:\\standin.log";
constexpr wchar_t kProductFolder[] = L"C:\\Program Files\\Kelvan Suite Personal\\Kelvan Anti-Spam";
constexpr wchar_t kStandaloneFolder[] = L"C:\\Program Files\\Zalt";
constexpr wchar_t kProductKey[] = L"SOFTWARE\\Zalt";
constexpr wchar_t kOwnEntry[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zalt "
    L"{610B2370-F55F-4A0A-932B-EBDB99FFCE6D}";
constexpr wchar_t kSettingsKey[] = L"SOFTWARE\\Vorandel\\Kelvan Suite Personal\\as";
constexpr DWORD kRunMs = 120000;

std::wstring Source(const std::wstring& file) {
    return std::wstring(kSource) + L"\\" + file;
}

std::wstring InProduct(const std::wstring& file) {
    return std::wstring(kProductFolder) + L"\\" + file;
}

// The setup source: the root's program, framework and resource DLLs, the
// suite's programs ("sc") and the member ("as").
void MakeSource() {
    const fs::path folder(kSource);
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path root(testing::WindowsPath(SETUP_ROOT));
    for (const wchar_t* file :
         {L"Tramlet.exe", L"ulmfrm.dll", L"ulmres.dll", L"xjvprod.dll", L"license.txt"}) {
        fs::copy_file(root / file, folder / file, fs::copy_options::overwrite_existing);
    }
    fs::copy(fs::path(testing::WindowsPath(SETUP_QZ)) / L"sc", folder / L"sc",
             fs::copy_options::recursive);
    fs::copy(fs::path(testing::WindowsPath(SETUP_MEMBER_AS)), folder / L"as",
             fs::copy_options::recursive);
}

void SetMachineText(const std::wstring& key, const std::wstring& name, const std::wstring& text) {
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, &handle, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(
        RegSetValueExW(handle, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
        ERROR_SUCCESS);
    RegCloseKey(handle);
}

// A text value; "<missing>" when it is not there.
std::wstring MachineText(const std::wstring& key, const std::wstring& name) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return L"<missing>";
    }
    wchar_t data[2048] = {};
    DWORD size = sizeof(data) - sizeof(wchar_t);
    DWORD type = 0;
    const LONG error = RegQueryValueExW(handle, name.c_str(), nullptr, &type,
                                        reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(handle);
    return error == ERROR_SUCCESS && type == REG_SZ ? std::wstring(data) : L"<missing>";
}

bool KeyExists(const std::wstring& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(handle);
    return true;
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Whether a process of that file name runs.
bool ProcessRuns(const std::wstring& file) {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return false;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    bool found = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found;
         more = Process32NextW(snapshot, &entry)) {
        found = _wcsicmp(entry.szExeFile, file.c_str()) == 0;
    }
    CloseHandle(snapshot);
    return found;
}

std::vector<std::string> StandinStarts() {
    return ReadLines(kStandinLog);
}

std::string Narrow(const std::wstring& text) {
    return fs::path(text).string();
}

// Presses a framework button: its command goes to the dialog (posted, so a
// button that opens another dialog does not block the test).
bool Press(HWND dialog, int id) {
    const HWND button = FindChild(dialog, id);
    return button && IsWindowEnabled(button) &&
           PostWindowMessage(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                             reinterpret_cast<LPARAM>(button));
}

constexpr int kAgreementAccept = 1451;
constexpr int kDestinationEdit = 1292;
constexpr int kCompetitorName = 1455;
constexpr int kBoxText = 1073;

// A run at display level 2 driven to its end: the competitor question is
// answered Yes, the agreement accepted, the destination taken as offered,
// every message box answered OK. The competitors named and the exit code.
struct Driven {
    DWORD exit_code = 0xFFFFFFFF;
    std::vector<std::wstring> competitors;
};

Driven Drive(const std::wstring& arguments, const std::string& shot) {
    Driven driven;
    RunningProgram run;
    EXPECT_TRUE(run.Start(Quote(Source(L"Tramlet.exe")) + L" " + arguments));
    std::set<HWND> seen;
    int step = 0;
    const DWORD deadline = GetTickCount() + kRunMs;
    while (run.running() && GetTickCount() < deadline) {
        bool acted = false;
        for (const auto& window : ListTopLevelWindows()) {
            if (window.process_id != run.id() || !window.visible ||
                window.class_name != L"#32770" || FindChild(window.handle, 1316)) {
                continue;
            }
            const HWND dialog = window.handle;
            if (!seen.count(dialog)) {
                Sleep(300);
                SaveScreenshot(dialog, shot + "-" + std::to_string(++step));
                seen.insert(dialog);
            }
            bool pressed = false;
            if (FindChild(dialog, kCompetitorName)) {
                driven.competitors.push_back(GetText(FindChild(dialog, kCompetitorName)));
                pressed = Press(dialog, IDOK);
            } else if (FindChild(dialog, kAgreementAccept)) {
                pressed = Press(dialog, kAgreementAccept);
            } else if (FindChild(dialog, kDestinationEdit) || FindChild(dialog, kBoxText)) {
                pressed = Press(dialog, IDOK);
            }
            if (pressed) {
                WaitForWindowGone(dialog, 10000);
                acted = true;
            }
        }
        if (!acted) {
            Sleep(100);
        }
    }
    driven.exit_code = run.Wait(kRunMs).value_or(0xFFFFFFFF);
    return driven;
}

DWORD RunSilent(const std::wstring& command_line) {
    RunningProgram run;
    EXPECT_TRUE(run.Start(command_line));
    return run.Wait(kRunMs).value_or(0xFFFFFFFF);
}

// The program group's folder, for all users or the current user: the one
// that holds the product's shortcuts.
fs::path ShortcutFolder() {
    for (const int csidl : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS}) {
        wchar_t programs[MAX_PATH] = {};
        if (SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, 0, programs))) {
            const fs::path folder =
                fs::path(programs) / L"Kelvan Security Suite" / L"Kelvan Anti-Spam";
            if (fs::exists(folder)) {
                return folder;
            }
        }
    }
    return {};
}

std::string UrlOf(const fs::path& shortcut) {
    for (const auto& line : ReadLines(shortcut.wstring())) {
        if (line.rfind("URL=", 0) == 0) {
            return line.substr(4);
        }
    }
    return {};
}

// A stand-alone edition: its update program (the member's stand-in, which
// also uninstalls it) in a folder of its own without the companion library,
// its key and its uninstall entry.
// Its uninstall goes on in the copy for ten seconds: long past the rest of
// the run, had setup not waited for it.
void InstallStandalone() {
    fs::create_directories(fs::path(kStandaloneFolder));
    fs::copy_file(fs::path(Source(L"as")) / L"z-update.exe",
                  fs::path(kStandaloneFolder) / L"z-update.exe",
                  fs::copy_options::overwrite_existing);
    std::ofstream(fs::path(kStandaloneFolder) / L"z-update.exe.ini", std::ios::binary)
        << "[standin]\r\nrespawn=1\r\ndelay=10000\r\n"
        << "unreg1=HKLM\\SOFTWARE\\Zalt|*\r\n"
        << "unreg2=HKLM\\" << Narrow(kOwnEntry) << "|*\r\n";
    SetMachineText(kProductKey, L"ReleaseVersion", L"3.0.0.7");
    SetMachineText(kProductKey, L"AppInstallPath", kStandaloneFolder);
    SetMachineText(kProductKey, L"ReleasePath", kStandaloneFolder);
    SetMachineText(kOwnEntry, L"DisplayName", L"Zalt Anti-Spam");
    SetMachineText(kOwnEntry, L"UninstallString",
                   Quote(std::wstring(kStandaloneFolder) + L"\\z-update.exe") + L" /u_silent");
}

TEST(AntiSpamMember, AStandAloneEditionIsRemovedFirstThenTheMemberInstallsUnquoted) {
    MakeSource();
    InstallStandalone();
    fs::remove(fs::path(kStandinLog));

    const Driven driven = Drive(L"/DisplayLevel=2 /NoReboot", "standalone");
    EXPECT_EQ(driven.exit_code, 0u);
    ASSERT_EQ(driven.competitors.size(), 1u);
    EXPECT_EQ(driven.competitors[0], L"Zalt Anti-Spam");
    // The update program's copy in TEMP ran for a while after the first
    // one ended: setup waited for it before it went on.
    EXPECT_FALSE(ProcessRuns(L"z-update.exe"));

    const std::vector<std::string> starts = StandinStarts();
    ASSERT_GE(starts.size(), 3u);
    EXPECT_EQ(starts[0], "z-update.exe|\"C:\\Program Files\\Zalt\\z-update.exe\" /u_silent");
    EXPECT_NE(starts[1].find("Temp\\z-update.exe"), std::string::npos) << starts[1];
    // The folder follows "/silent " as it is, blanks and all.
    EXPECT_EQ(starts[2],
              "Anti-Spam.exe|\"C:\\sources\\antispam\\as\\Anti-Spam.exe\" /silent "
              "C:\\Program Files\\Kelvan Suite Personal\\Kelvan Anti-Spam");

    for (const wchar_t* file : {L"z-update.exe", L"zxjsuite.dll", L"xjvprod.dll", L"frayle.dll",
                                L"xjvres.dll", L"xjuninst.exe", L"trombas.chm"}) {
        EXPECT_TRUE(Exists(InProduct(file))) << Narrow(file);
    }
    EXPECT_EQ(MachineText(kProductKey, L"ReleasePath"), kProductFolder);
    EXPECT_EQ(MachineText(kProductKey, L"ProgramGroup"),
              L"Kelvan Security Suite\\Kelvan Anti-Spam");
    EXPECT_EQ(MachineText(kOwnEntry, L"DisplayName"), L"XJ Kelvan Anti-Spam");
    EXPECT_EQ(MachineText(kOwnEntry, L"UninstallString"),
              Quote(InProduct(L"xjuninst.exe")) + L" /u");
    EXPECT_EQ(MachineText(kOwnEntry, L"UninstallProduct"),
              Quote(InProduct(L"z-update.exe")) + L" /u_silent");
    EXPECT_EQ(MachineText(kSettingsKey, L"Version"), L"3.1.0.12");

    // The shortcuts, with both web addresses carrying GUID, RT and BRAND.
    const fs::path group = ShortcutFolder();
    ASSERT_FALSE(group.empty());
    for (const wchar_t* name :
         {L"Kelvan Anti-Spam.lnk", L"Kelvan Anti-Spam Settings.lnk",
          L"Check for Spam Filter Updates.lnk", L"Restore Spam Filter Settings.lnk",
          L"Uninstall Kelvan Anti-Spam.lnk"}) {
        EXPECT_TRUE(fs::exists(group / name)) << Narrow(name);
    }
    const struct {
        const wchar_t* name;
        const char* page;
    } pages[] = {{L"Kelvan Anti-Spam on the Web.url", "http://antispam.example.com/product/?"},
                 {L"Kelvan Anti-Spam Help.url", "http://antispam.example.com/help/?"}};
    for (const auto& page : pages) {
        const std::string url = UrlOf(group / page.name);
        SCOPED_TRACE(url);
        EXPECT_EQ(url.rfind(page.page, 0), 0u);
        EXPECT_NE(url.find("GUID=%7B610B2370-F55F-4A0A-932B-EBDB99FFCE6D%7D"), std::string::npos);
        EXPECT_NE(url.find("&RT=3.1.0.12"), std::string::npos);
        EXPECT_NE(url.find("&BRAND=Kelvan%20Suite%20Personal"), std::string::npos);
    }
}

// Runs after the test above: the member is installed.
TEST(AntiSpamMember, DataFoldersStayWhileTheProductIsRegisteredAndGoOnceItIsNot) {
    ASSERT_TRUE(Exists(InProduct(L"xjuninst.exe"))) << "needs the install of the test above";
    for (const wchar_t* folder : {L"ZSP-Mail.dat", L"zsp-Rules"}) {
        fs::create_directories(fs::path(InProduct(folder)) / L"inner");
        std::ofstream(fs::path(InProduct(folder)) / L"inner" / L"store.db") << "mail";
    }
    const std::wstring uninstall = Quote(InProduct(L"xjuninst.exe")) + L" /u /Silent /NoReboot";
    const std::wstring cleanup = Quote(Source(L"Tramlet.exe")) + L" /cleanup /Silent";

    // An uninstall program that leaves the product registered.
    const fs::path updater_ini = fs::path(InProduct(L"z-update.exe.ini"));
    const fs::path kept_ini = fs::path(InProduct(L"z-update.ini.kept"));
    fs::rename(updater_ini, kept_ini);
    std::ofstream(updater_ini, std::ios::binary) << "[standin]\r\nrespawn=1\r\n";
    EXPECT_EQ(RunSilent(uninstall), 9039u);
    EXPECT_EQ(RunSilent(cleanup), 0u);
    EXPECT_TRUE(Exists(InProduct(L"ZSP-Mail.dat\\inner\\store.db")));
    EXPECT_TRUE(Exists(InProduct(L"zsp-Rules\\inner\\store.db")));

    // The real one removes it; the next cleanup takes the data folders.
    fs::remove(updater_ini);
    fs::rename(kept_ini, updater_ini);
    EXPECT_EQ(RunSilent(uninstall), 0u);
    EXPECT_FALSE(ProcessRuns(L"z-update.exe"));
    EXPECT_FALSE(KeyExists(kProductKey));
    EXPECT_FALSE(KeyExists(kOwnEntry));
    EXPECT_TRUE(Exists(InProduct(L"ZSP-Mail.dat")));
    EXPECT_EQ(RunSilent(cleanup), 0u);
    EXPECT_FALSE(Exists(InProduct(L"ZSP-Mail.dat")));
    EXPECT_FALSE(Exists(InProduct(L"zsp-Rules")));
    EXPECT_FALSE(KeyExists(kSettingsKey));
}

}  // namespace
}  // namespace olvex::gui
