#include "setup/products/firewall_rules.h"

#include <gtest/gtest.h>

#include <set>

#include "setup/core/setup_text.h"

namespace olvex::setup::firewall {
namespace {

std::string Narrow(std::u16string_view text) {
    return ToUtf8(text);
}

TEST(FirewallTables, FirewallAndUpgradeShareAllButTheirOwnEntry) {
    const auto firewall = FirewallUninstallNames();
    const auto upgrade = UpgradeUninstallNames();
    ASSERT_EQ(firewall.size(), 7u);
    ASSERT_EQ(upgrade.size(), 7u);
    EXPECT_EQ(firewall[0], u"Kelvan Personal Firewall");
    EXPECT_EQ(upgrade[0], u"Kelvan QX Dovrane");
    for (size_t i = 1; i < 7; ++i) {
        EXPECT_EQ(firewall[i], upgrade[i]) << i;
    }
    EXPECT_EQ(firewall[1], u"Kelvan Suite Personal\\fw");
    EXPECT_EQ(FirewallShortcutFolders().size(), 4u);
    ASSERT_EQ(UpgradeShortcutFolders().size(), 6u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(UpgradeShortcutFolders()[i + 1], FirewallShortcutFolders()[i]);
    }
}

TEST(FirewallTables, FirewallCompetitorsInOrderWithTheirTests) {
    const auto table = FirewallCompetitors();
    ASSERT_EQ(table.size(), 25u);
    EXPECT_EQ(table.front().entry, u"Kelvan QX Warnel");
    EXPECT_EQ(table[1].test, CompetitorTest::kEarlierFirewall);
    for (size_t i = 2; i < 7; ++i) {
        EXPECT_EQ(table[i].test, CompetitorTest::kUnifiedEngine) << i;
        EXPECT_EQ(table[i].process, u"tsuninst");
        EXPECT_EQ(table[i].program, u"tsuninst.exe");
    }
    EXPECT_EQ(table[6].entry, u"Kelvan Suite Personal\\fw");
    EXPECT_EQ(table[7].entry, u"Tessaly");
    EXPECT_EQ(table[8].entry, u"Tessaly Pro");
    EXPECT_EQ(table[8].test, CompetitorTest::kStandaloneEngine);
    EXPECT_EQ(table.back().entry, u"{ECA8B5D4-7C3D-45F2-8BEC-58006B9C1456}");
}

TEST(FirewallTables, UpgradeCompetitorsAreAntivirusThenOtherFirewalls) {
    const auto table = UpgradeCompetitors();
    const auto firewall = FirewallCompetitors();
    ASSERT_EQ(table.size(), 59u);
    EXPECT_EQ(table[0].entry, u"NIMWIN32Vp5");
    EXPECT_EQ(table[1].test, CompetitorTest::kAntivirusData);
    EXPECT_EQ(table[2].entry, u"Kelvan Suite Personal\\av");
    EXPECT_EQ(table[2].test, CompetitorTest::kAntivirusData);
    EXPECT_EQ(table[3].entry, u"Pardell for Windows NT");
    EXPECT_EQ(table[38].entry, u"VirusScan Online");
    // The 20 firewall rows are the firewall's table less the suite's own
    // firewall rows, in the same order.
    std::vector<Competitor> expected;
    for (const Competitor& row : firewall) {
        if (row.test != CompetitorTest::kUnifiedEngine) {
            expected.push_back(row);
        }
    }
    ASSERT_EQ(expected.size(), 20u);
    for (size_t i = 0; i < 20; ++i) {
        EXPECT_EQ(table[39 + i].entry, expected[i].entry) << i;
        EXPECT_EQ(table[39 + i].test, expected[i].test) << i;
    }
    // No suite-firewall row and no firewall entry of the suite is left.
    for (const Competitor& row : table) {
        EXPECT_NE(row.test, CompetitorTest::kUnifiedEngine) << Narrow(row.entry);
        EXPECT_NE(row.entry, u"Kelvan Suite Personal\\fw");
        EXPECT_NE(row.entry, u"QX Firewall");
    }
    EXPECT_EQ(table[10].test, CompetitorTest::kEarlierAntivirus);
    EXPECT_EQ(table[10].entry, u"Kelvan QX Antivirus");
}

TEST(FirewallConfigFile, FiveLinesInOrderEndedByCrLf) {
    const auto lines = ConfigFileLines(u"Kelvan Personal Firewall",
                                       u"C:\\Program Files\\Suite\\Kelvan Personal Firewall",
                                       u"Kelvan Security Suite");
    const std::u16string expected[] = {
        u"OEM_APPTITLE=Kelvan Personal Firewall\r\n",
        u"OEM_MAINDIR=C:\\Program Files\\Suite\\Kelvan Personal Firewall\r\n",
        u"OEM_EXENAME=xj.exe\r\n", u"OEM_SHTCTFLDR=Kelvan Security Suite\r\n",
        u"OEM_CONAME=Brackwith\r\n"};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(lines[i], expected[i]) << i;
    }
    // An empty group still gives its line.
    EXPECT_EQ(ConfigFileLines(u"a", u"b", u"")[3], u"OEM_SHTCTFLDR=\r\n");
}

TEST(FirewallCommands, InstallerAndUninstallerSwitches) {
    EXPECT_EQ(InstallerSwitches(u"C:\\TEMP\\fwconfig.txt"),
              u"/s /M=\"C:\\TEMP\\fwconfig.txt\" /NOREBOOT");
    EXPECT_EQ(std::u16string(kUninstallerSwitches), u"/s /noreboot");
    EXPECT_EQ(TrustListCommand(u"C:\\Program Files\\fw\\trustadd.exe"),
              u"\"C:\\Program Files\\fw\\trustadd.exe\" /trustlist");
}

TEST(FirewallWindows, RefusesOldWindowsAndServers) {
    struct Case {
        uint32_t platform, major, minor;
        bool workstation;
        std::optional<std::u16string> refused;
    };
    const Case cases[] = {
        {2, 4, 0, true, u"Windows NT 4.00"},
        {2, 3, 51, true, u"Windows NT 3.51"},
        {1, 4, 0, false, u"Windows 95"},
        {1, 4, 10, false, std::nullopt},  // 98
        {1, 4, 90, false, std::nullopt},  // ME
        {2, 5, 1, true, std::nullopt},
        {2, 5, 2, true, std::nullopt},
        {2, 5, 0, false, u"Windows 2000 Server"},
    };
    for (const Case& c : cases) {
        OsVersion version;
        version.platform = c.platform;
        version.major = c.major;
        version.minor = c.minor;
        EXPECT_EQ(RefusedWindows(version, c.workstation, u"Windows 2000 Server"), c.refused)
            << c.platform << " " << c.major << "." << c.minor;
    }
}

TEST(FirewallUpgrade, MakersNamesAreRenamedOthersKept) {
    EXPECT_TRUE(IsMakersRegisteredName(u"QX Firewall"));
    EXPECT_TRUE(IsMakersRegisteredName(u"Kelvan Personal Firewall"));
    EXPECT_TRUE(IsMakersRegisteredName(u"My Kelvan"));
    EXPECT_FALSE(IsMakersRegisteredName(u"Tessaly Pro"));
    EXPECT_FALSE(IsMakersRegisteredName(u""));
    EXPECT_FALSE(IsMakersRegisteredName(u"qx kelvan"));
}

TEST(FirewallUpgrade, TrustListWaitsForTheRestartOnlyWhenTheVersionChanged) {
    EXPECT_TRUE(DefersTrustList(u"5.0.1.2", u"5.1.0.0"));
    EXPECT_FALSE(DefersTrustList(u"5.0.1.2", u"5.0.1.2"));
    EXPECT_FALSE(DefersTrustList(u"5.0.1.a", u"5.0.1.A"));
    EXPECT_FALSE(DefersTrustList(u"0", u"5.1.0.0"));
    EXPECT_FALSE(DefersTrustList(u"", u"5.1.0.0"));
    EXPECT_EQ(FileVersionText(5, 1, 27, 4096), u"5.1.27.4096");
}

TEST(FirewallLeftovers, EngineFilesOfTheSystemFolder) {
    const auto files = EngineLeftoverFiles();
    EXPECT_EQ(files.size(), 11u);
    std::set<std::u16string_view> unique(files.begin(), files.end());
    EXPECT_EQ(unique.size(), files.size());
    for (const auto file : files) {
        EXPECT_TRUE(file.starts_with(u"cv") || file.starts_with(u"ts")) << Narrow(file);
    }
}

}  // namespace
}  // namespace olvex::setup::firewall
