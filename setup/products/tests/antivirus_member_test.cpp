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
#include <string>
#include <vector>

#include "setup/products/tests/setup_run_support.h"

namespace olvex::gui {
namespace {

using namespace setup_run;

constexpr wchar_t kSource[] = L"C:\\sources\\antivirus";
constexpr wchar_t kProductFolder[] = L"C:\\Program Files\\Kelvan Suite Personal\\Kelvan Vuvu-Roved";

void MakeSource() {
    setup_run::MakeSource(kSource, {{L"av", SETUP_MEMBER_AV}});
}

// Runs setup at display level 2 to its end: the agreement accepted, the
// destination taken as offered, every message box answered OK. Its exit
// code.
DWORD RunWatched(const std::string& shot) {
    return Drive(Quote(std::wstring(kSource) + L"\\Tramlet.exe") + L" /DisplayLevel=2 /NoReboot",
                 shot)
        .exit_code;
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
