// The whole suite through the real setup program under Wine, from the
// setup source "setup-suite": this product's package and the other
// members' folders, whose programs are the setup core's stand-ins (each
// start a line of C:\standin.log). Every member is installed into the
// suite's folder under one suite entry, then the suite's uninstaller takes
// them all away again, with what waits for the restarts.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "setup/products/tests/setup_run_support.h"

namespace olvex::gui {
namespace {

using namespace setup_run;

constexpr wchar_t kSource[] = L"C:\\sources\\suite";
constexpr wchar_t kSuiteFolder[] = L"C:\\Program Files\\Kelvan Suite Personal";
constexpr wchar_t kSuiteKey[] = L"SOFTWARE\\Vorandel\\Kelvan Suite Personal";
constexpr wchar_t kUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr wchar_t kRunOnce[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

struct Member {
    const wchar_t* tag;
    // Its folder under the suite's, and the program group's sub-folder.
    const wchar_t* name;
    // Its own uninstall entry, hidden while the suite holds it.
    const wchar_t* own_entry;
    // A file its installer puts into its folder.
    const wchar_t* file;
};

const Member kMembers[] = {
    {L"qz", L"Kelvan Gorsewatch", L"{69383EC0-27AB-4173-A77C-2F2FB034E57F}", L"Gorsewatch5.exe"},
    {L"as", L"Kelvan Anti-Spam", L"Zalt {610B2370-F55F-4A0A-932B-EBDB99FFCE6D}", L"z-update.exe"},
    {L"av", L"Kelvan Vuvu-Roved", L"NIMWIN32Vp5", L"AutoDown.exe"},
    {L"fw", L"Kelvan Personal Firewall", L"Kelvan Personal Firewall", L"xj.exe"},
};

std::wstring InSuite(const std::wstring& path) {
    return std::wstring(kSuiteFolder) + L"\\" + path;
}

std::wstring Entry(const std::wstring& name) {
    return kUninstall + name;
}

std::wstring SystemFolder() {
    wchar_t folder[MAX_PATH] = {};
    GetSystemDirectoryW(folder, MAX_PATH);
    return folder;
}

void ExpectEveryMemberInstalled() {
    // The suite stands alone: its entry is named as a lone product's is.
    EXPECT_EQ(MachineText(Entry(L"Kelvan Suite Personal"), L"DisplayName"),
              L"XJ Kelvan Suite Personal");
    EXPECT_EQ(MachineText(Entry(L"Kelvan Suite Personal"), L"UninstallString"),
              Quote(InSuite(L"xjuninst.exe")) + L" /u");
    const fs::path group = ProgramGroupFolder();
    EXPECT_FALSE(group.empty()) << "no program group";
    for (const Member& member : kMembers) {
        SCOPED_TRACE(fs::path(member.tag).string());
        const std::wstring folder = InSuite(member.name);
        EXPECT_TRUE(Exists(folder + L"\\" + member.file));
        EXPECT_TRUE(Exists(folder + L"\\xjuninst.exe"));
        const std::wstring entry = Entry(std::wstring(L"Kelvan Suite Personal\\") + member.tag);
        EXPECT_EQ(MachineText(entry, L"DisplayName"), member.name);
        EXPECT_EQ(MachineText(entry, L"UninstallString"),
                  Quote(folder + L"\\xjuninst.exe") + L" /u");
        EXPECT_EQ(MachineText(Entry(member.own_entry), L"DisplayName"), L"<missing>")
            << "the member's own entry is hidden";
        if (!group.empty()) {
            EXPECT_TRUE(fs::exists(group / member.name)) << "its shortcuts";
        }
    }
}

// The suite's uninstaller from the suite's folder, then the two restarts
// that carry out what waits for them.
void UninstallEverything() {
    fs::remove(fs::path(kStandinLog));
    EXPECT_EQ(RunSilent(Quote(InSuite(L"xjuninst.exe")) + L" /u /Silent /NoReboot"), 0u);
    for (const char* uninstaller : {"unnim32.exe", "z-update.exe", "tsuninst.exe"}) {
        EXPECT_TRUE(StartedAny(uninstaller)) << uninstaller << " ran";
    }
    for (int restart = 0; restart < 2; ++restart) {
        EXPECT_EQ(RunSilent(L"wineboot.exe -r"), 0u);
    }
    EXPECT_FALSE(KeyExists(kSuiteKey));
    EXPECT_FALSE(KeyExists(Entry(L"Kelvan Suite Personal")));
    for (const std::wstring& name : ValueNames(kRunOnce)) {
        EXPECT_NE(name.rfind(L"Tromb_", 0), 0u) << fs::path(name).string();
    }
    EXPECT_FALSE(Exists(kSuiteFolder));
    for (const wchar_t* engine_file : {L"cvpubapi.dll", L"tsxjsuite.dll"}) {
        EXPECT_FALSE(Exists(SystemFolder() + L"\\" + engine_file))
            << fs::path(engine_file).string();
    }
}

TEST(WholeSuite, AWatchedInstallOffersEveryMemberInstallsThemAllAndOneUninstallRemovesThem) {
    fs::remove_all(fs::path(kSource));
    fs::create_directories(fs::path(kSource));
    fs::copy(fs::path(testing::WindowsPath(SETUP_SUITE)), fs::path(kSource),
             fs::copy_options::recursive);
    fs::remove(fs::path(kStandinLog));

    std::vector<std::wstring> offered;
    const Driven driven = Drive(
        Quote(std::wstring(kSource) + L"\\Tramlet.exe") + L" /DisplayLevel=2 /NoReboot", "watched",
        [&](HWND selection) {
            for (int row = 0; row < 8; ++row) {
                const HWND box = FindChild(selection, kFirstSelectionRow + row);
                if (box && IsWindowVisible(box))
                    offered.push_back(GetText(box));
            }
            // One member unticked, then ticked again: OK follows.
            const HWND second = FindChild(selection, kFirstSelectionRow + 1);
            for (const WPARAM state : {BST_UNCHECKED, BST_CHECKED}) {
                SendWindowMessage(second, BM_SETCHECK, state, 0);
                SendWindowMessage(selection, WM_COMMAND,
                                  MAKEWPARAM(kFirstSelectionRow + 1, BN_CLICKED),
                                  reinterpret_cast<LPARAM>(second));
            }
            EXPECT_TRUE(IsWindowEnabled(FindChild(selection, IDOK)));
            SaveScreenshot(selection, "selection");
        });
    EXPECT_EQ(driven.exit_code, 0u);
    EXPECT_TRUE(driven.competitors.empty());
    std::vector<std::wstring> members;
    for (const Member& member : kMembers)
        members.push_back(member.name);
    EXPECT_EQ(offered, members) << "every member is offered";
    ExpectEveryMemberInstalled();
    UninstallEverything();
}

// Runs after the test above: nothing of the suite is left.
TEST(WholeSuite, ASilentInstallDoesTheSameAndIsRemovedAsWholly) {
    ASSERT_FALSE(Exists(kSuiteFolder)) << "needs the uninstall of the test above";
    fs::remove(fs::path(kStandinLog));
    EXPECT_EQ(RunSilent(Quote(std::wstring(kSource) + L"\\Tramlet.exe") + L" /Silent /NoReboot"),
              0u);
    ExpectEveryMemberInstalled();
    UninstallEverything();
}

}  // namespace
}  // namespace olvex::gui
