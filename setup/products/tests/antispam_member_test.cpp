// The anti-spam member through the real setup program under Wine, from a
// setup source of the setup root's files, the suite's programs and the
// member's folder "as", whose programs are the setup core's stand-ins: each
// start is a line of C:\standin.log. The test drives the dialogs through
// the window driver and reads the registry, the files and the shortcuts.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "setup/products/tests/setup_run_support.h"

namespace olvex::gui {
namespace {

using namespace setup_run;

constexpr wchar_t kSource[] = L"C:\\sources\\antispam";
constexpr wchar_t kProductFolder[] = L"C:\\Program Files\\Kelvan Suite Personal\\Kelvan Anti-Spam";
constexpr wchar_t kStandaloneFolder[] = L"C:\\Program Files\\Zalt";
constexpr wchar_t kProductKey[] = L"SOFTWARE\\Zalt";
constexpr wchar_t kOwnEntry[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zalt "
    L"{610B2370-F55F-4A0A-932B-EBDB99FFCE6D}";
constexpr wchar_t kSettingsKey[] = L"SOFTWARE\\Vorandel\\Kelvan Suite Personal\\as";

std::wstring Source(const std::wstring& file) {
    return std::wstring(kSource) + L"\\" + file;
}

std::wstring InProduct(const std::wstring& file) {
    return std::wstring(kProductFolder) + L"\\" + file;
}

void MakeSource() {
    setup_run::MakeSource(kSource, {{L"as", SETUP_MEMBER_AS}});
}

std::string Narrow(const std::wstring& text) {
    return fs::path(text).string();
}

Driven Drive(const std::wstring& arguments, const std::string& shot) {
    return setup_run::Drive(Quote(Source(L"Tramlet.exe")) + L" " + arguments, shot);
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
    const fs::path group = ProgramGroupFolder(L"Kelvan Anti-Spam");
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
    EXPECT_TRUE(ProgramGroupFolder(L"Kelvan Anti-Spam").empty())
        << "each shortcut it made is gone, and with them its folder";
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
