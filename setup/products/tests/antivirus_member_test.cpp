// The antivirus member through the real setup program at display level 2
// under Wine: the run the user watches. Its follow-up programs differ from
// a silent run's: the update program gets "/FullInstall", and the first
// scan runs when the definitions ("nim.dat") are in the product's folder.
// The member's programs are the setup core's stand-ins from the member
// folder "av"; each start is a line of C:\standin.log. The dialogs are
// answered through the window driver, and each is saved as a screenshot.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "testing/gui/gui_test_support.h"
#include "testing/gui/window_driver.h"

namespace olvex::gui {
namespace {

namespace fs = std::filesystem;

constexpr wchar_t kSource[] = L"C:\\sources\\antivirus";
constexpr wchar_t kStandinLog[] = L"C:\\standin.log";
constexpr wchar_t kProductFolder[] = L"C:\\Program Files\\Kelvan Suite Personal\\Kelvan Vuvu-Roved";
constexpr DWORD kRunMs = 120000;
// The controls that tell the setup dialogs apart.
constexpr int kAgreementAccept = 1451;
constexpr int kDestinationEdit = 1292;
constexpr int kBoxText = 1073;

// The setup source: the root's program, framework and resource DLLs, the
// suite's programs ("sc") and the member ("av").
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
    fs::copy(fs::path(testing::WindowsPath(SETUP_MEMBER_AV)), folder / L"av",
             fs::copy_options::recursive);
}

// Runs setup at display level 2 to its end: the agreement accepted, the
// destination taken as offered, every message box answered OK. Its exit
// code.
DWORD RunWatched(const std::string& shot) {
    RunningProgram run;
    EXPECT_TRUE(
        run.Start(Quote(std::wstring(kSource) + L"\\Tramlet.exe") + L" /DisplayLevel=2 /NoReboot"));
    std::set<HWND> seen;
    const DWORD deadline = GetTickCount() + kRunMs;
    while (run.running() && GetTickCount() < deadline) {
        bool answered = false;
        for (const auto& window : ListTopLevelWindows()) {
            if (window.process_id != run.id() || !window.visible ||
                window.class_name != L"#32770") {
                continue;
            }
            const HWND dialog = window.handle;
            const int button = FindChild(dialog, kAgreementAccept)   ? kAgreementAccept
                               : FindChild(dialog, kDestinationEdit) ? IDOK
                               : FindChild(dialog, kBoxText)         ? IDOK
                                                                     : 0;
            if (button == 0) {
                continue;
            }
            if (seen.insert(dialog).second) {
                Sleep(300);
                SaveScreenshot(dialog, shot + "-" + std::to_string(seen.size()));
            }
            // Posted: a button that opens the next dialog must not hold
            // the test.
            const HWND control = FindChild(dialog, button);
            if (control && IsWindowEnabled(control) &&
                PostWindowMessage(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                                  reinterpret_cast<LPARAM>(control))) {
                WaitForWindowGone(dialog, 10000);
                answered = true;
            }
        }
        if (!answered) {
            Sleep(100);
        }
    }
    return run.Wait(kRunMs).value_or(0xFFFFFFFF);
}

bool Started(const std::string& line) {
    for (const std::string& start : ReadLines(kStandinLog)) {
        if (start == line) {
            return true;
        }
    }
    return false;
}

bool StartedAny(const std::string& program) {
    for (const std::string& start : ReadLines(kStandinLog)) {
        if (start.rfind(program + "|", 0) == 0) {
            return true;
        }
    }
    return false;
}

const std::string kUpdate =
    "AutoDown.exe|\"C:\\Program Files\\Kelvan Suite Personal\\Kelvan "
    "Vuvu-Roved\\autodown.exe\" /FullInstall";
const std::string kFirstScan =
    "xjv.exe|\"C:\\Program Files\\Kelvan Suite Personal\\Kelvan Vuvu-Roved\\xjv.exe\" -x";

TEST(AntivirusMember, AWatchedInstallUpdatesAndScansWithTheDefinitionsInPlace) {
    MakeSource();
    // The definitions wait in the folder the product goes into.
    fs::create_directories(fs::path(kProductFolder));
    std::ofstream(fs::path(kProductFolder) / L"nim.dat") << "definitions";
    fs::remove(fs::path(kStandinLog));

    EXPECT_EQ(RunWatched("with-definitions"), 0u);
    EXPECT_TRUE(
        Started("setup.exe|\"C:\\sources\\antivirus\\av\\setup.exe\" /Silent /NoUpdateFromWeb "
                "/ProductDest=\"C:\\Program Files\\Kelvan Suite Personal\\Kelvan Vuvu-Roved\""));
    EXPECT_TRUE(Started(kUpdate)) << "not silent at display level 2";
    EXPECT_TRUE(Started(kFirstScan));
}

// Runs after the test above: the member is installed.
TEST(AntivirusMember, WithoutTheDefinitionsThereIsNoFirstScan) {
    ASSERT_TRUE(fs::exists(fs::path(kProductFolder) / L"xjuninst.exe"))
        << "needs the install of the test above";
    fs::remove(fs::path(kProductFolder) / L"nim.dat");
    fs::remove(fs::path(kStandinLog));

    EXPECT_EQ(RunWatched("without-definitions"), 0u);
    EXPECT_TRUE(Started(kUpdate));
    EXPECT_FALSE(StartedAny("xjv.exe"));
}

}  // namespace
}  // namespace olvex::gui
