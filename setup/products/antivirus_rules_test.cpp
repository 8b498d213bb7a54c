#include "setup/products/antivirus_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "setup/core/setup_text.h"

namespace olvex::setup::antivirus {
namespace {

std::string Narrow(std::u16string_view text) {
    return ToUtf8(text);
}

TEST(AntivirusTables, CompetitorsKeepTheirOrderAndTests) {
    static_assert(kCompetitors.size() == 41);
    EXPECT_EQ(kCompetitors.front().entry, u"Pardell for Windows NT");
    EXPECT_EQ(kCompetitors.back().entry, u"VirusScan Online");
    std::set<std::u16string_view> names;
    size_t firewalls = 0;
    for (const Competitor& competitor : kCompetitors) {
        EXPECT_TRUE(names.insert(competitor.entry).second) << Narrow(competitor.entry);
        if (competitor.test == CompetitorTest::kUnifiedFirewall) {
            ++firewalls;
            EXPECT_EQ(competitor.process, u"tsuninst");
            EXPECT_EQ(competitor.program, u"tsuninst.exe");
        }
    }
    EXPECT_EQ(firewalls, 5u);
    EXPECT_EQ(kCompetitors[7].entry, u"Kelvan QX Antivirus");
    EXPECT_EQ(kCompetitors[7].test, CompetitorTest::kEarlierAntivirus);
    EXPECT_EQ(kCompetitors[25].process, u"A~NSISu_");
    EXPECT_EQ(kCompetitors[25].program, u"A~NSISu_.exe");
    EXPECT_EQ(kCompetitors[31].test, CompetitorTest::kSymantec);
    // Every record without a process has no program either.
    for (const Competitor& competitor : kCompetitors) {
        EXPECT_EQ(competitor.process.empty(), competitor.program.empty());
    }
}

TEST(AntivirusTables, NamesFoldersAndTrustRows) {
    EXPECT_EQ(kUninstallNames[0], u"NIMWIN32Vp5");
    EXPECT_EQ(kUninstallNames[1], u"Kelvan Suite Personal\\av");
    static_assert(kShortcutFolders.size() == 23);
    EXPECT_EQ(
        std::set<std::u16string_view>(kShortcutFolders.begin(), kShortcutFolders.end()).size(),
        kShortcutFolders.size());
    static_assert(kTrustFiles.size() == 10);
    for (const TrustFile& row : kTrustFiles) {
        const PermissionRow expected = row.file == u"xjvrep.exe" ? PermissionRow{2, 2, 3, 3, 2, 3}
                                                                 : PermissionRow{2, 2, 3, 3, 3, 3};
        EXPECT_EQ(row.permissions, expected) << Narrow(row.file);
    }
}

TEST(AntivirusSetupArguments, PassOnTheControllersSwitches) {
    struct Case {
        InstallSwitches switches;
        std::u16string_view expected;
    };
    const std::u16string_view dest = u"C:\\Program Files\\Kelvan Suite Personal\\Kelvan Vuvu-Roved";
    const Case cases[] = {
        {{},
         u"/Silent /NoUpdateFromWeb /ProductDest=\"C:\\Program Files\\Kelvan Suite "
         u"Personal\\Kelvan Vuvu-Roved\""},
        {{false, true, true, true},
         u"/Silent /NoUpdateFromWeb /NoUpdateFirewall /ProductDest=\"C:\\Program Files\\Kelvan "
         u"Suite Personal\\Kelvan Vuvu-Roved\""},
        {{false, false, false, false},
         u"/Silent /NoUpdateFromWeb /NoUpdateFirewall /NoUninstallInfo /NoProgramGroup "
         u"/IgnoreOtherAV /ProductDest=\"C:\\Program Files\\Kelvan Suite Personal\\Kelvan "
         u"Vuvu-Roved\""},
        {{true, true, true, false},
         u"/Silent /NoUpdateFromWeb /IgnoreOtherAV /ProductDest=\"C:\\Program Files\\Kelvan Suite "
         u"Personal\\Kelvan Vuvu-Roved\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Narrow(SetupArguments(c.switches, dest)), Narrow(c.expected));
    }
}

TEST(AntivirusFollowUps, UpdateSwitchAndFirstScan) {
    EXPECT_EQ(UpdateArguments(0), u"/FullInstallSilent");
    EXPECT_EQ(UpdateArguments(1), u"/FullInstallSilent");
    EXPECT_EQ(UpdateArguments(2), u"/FullInstall");
    EXPECT_EQ(UpdateArguments(4), u"/FullInstall");
    EXPECT_TRUE(RunsFirstScan(false, true, 2, true));
    EXPECT_FALSE(RunsFirstScan(true, true, 2, true));    // part of the suite
    EXPECT_FALSE(RunsFirstScan(false, false, 2, true));  // /NoScan
    EXPECT_FALSE(RunsFirstScan(false, true, 1, true));   // nobody watches
    EXPECT_FALSE(RunsFirstScan(false, true, 3, false));  // no nim.dat
}

TEST(AntivirusRefusedSystem, FollowsTheRules) {
    struct Case {
        OsVersion os;
        std::u16string_view language;
        std::optional<std::u16string_view> refused;
    };
    const auto nt = [](uint32_t major, uint32_t minor, std::u16string pack) {
        OsVersion os;
        os.platform = 2;
        os.major = major;
        os.minor = minor;
        os.service_pack = std::move(pack);
        return os;
    };
    const auto nine = [](uint32_t minor) {
        OsVersion os;
        os.platform = 1;
        os.major = 4;
        os.minor = minor;
        return os;
    };
    const Case cases[] = {
        {nt(3, 51, u""), u"English", u"Windows NT 3.51"},
        {nt(4, 0, u"Service Pack 2"), u"English", u"Windows NT 4.00 Service Pack 2"},
        {nt(4, 0, u"service pack 2"), u"English", u"Windows NT 4.00 service pack 2"},
        {nt(4, 0, u"Service Pack 3"), u"English", std::nullopt},
        {nt(4, 0, u"Service Pack 2a"), u"English", std::nullopt},
        {nt(4, 0, u""), u"English", std::nullopt},
        {nt(5, 2, u"Service Pack 2"), u"English", std::nullopt},
        {nine(0), u"English", std::nullopt},
        {nine(0), u"Deutsch", u"Windows 95 (Deutsch - 4.00)"},
        {nine(0), u"english", u"Windows 95 (english - 4.00)"},
        {nine(0), u"", u"Windows 95 ( - 4.00)"},
        {nine(10), u"Deutsch", std::nullopt},  // Windows 98
        {nine(90), u"Deutsch", std::nullopt},  // Windows ME
    };
    for (const Case& c : cases) {
        const auto refused = RefusedSystem(c.os, c.language);
        ASSERT_EQ(refused.has_value(), c.refused.has_value()) << Narrow(c.os.service_pack);
        if (refused) {
            EXPECT_EQ(Narrow(*refused), Narrow(*c.refused));
        }
    }
}

TEST(AntivirusVersionGuard, TenOrLaterIsAlwaysReplaced) {
    struct Case {
        std::u16string_view installed;
        std::u16string_view package;
        bool accepted;
    };
    const Case cases[] = {
        {u"0", u"9.1.0.0", true},         // not installed
        {u"9.1.0.0", u"9.1.0.0", true},   // same
        {u"9.0.0.0", u"9.1.0.0", true},   // upgrade
        {u"9.2.0.0", u"9.1.0.0", false},  // downgrade below 10
        {u"10", u"9.1.0.0", true},       {u"10.0.0.1", u"9.1.0.0", true},
        {u"11.2", u"9.1.0.0", true},     {u"9.99", u"9.1.0.0", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(VersionAccepted(c.installed, c.package), c.accepted)
            << Narrow(c.installed) << " / " << Narrow(c.package);
    }
}

TEST(AntivirusEarlierEditions, WindowsById) {
    for (uint32_t id : {0u, 1u}) {
        EXPECT_EQ(DialogsForEdition(id)->status, u"Nim Resident Protection Status");
        EXPECT_EQ(EditionMainWindow(id)->window_class, u"NimAV");
        EXPECT_TRUE(ClosesFirstGeneration(id));
    }
    EXPECT_EQ(DialogsForEdition(2)->progress_meter, u"Tolbrin Progress Meter");
    EXPECT_EQ(EditionMainWindow(2)->title, u"Tolbrin Personal Edition");
    EXPECT_EQ(EditionMainWindow(3)->title, u"Tolbrin SOHO Edition");
    EXPECT_EQ(DialogsForEdition(5)->out_of_date, u"Kelvan QX Antivirus Out-of-date Warning");
    EXPECT_EQ(EditionMainWindow(4)->window_class, u"Tolbrin");
    EXPECT_EQ(EditionMainWindow(4)->title, u"Kelvan QX Antivirus");
    for (uint32_t id : {2u, 4u, 6u, 7u}) {
        EXPECT_FALSE(ClosesFirstGeneration(id));
    }
    for (uint32_t id : {6u, 7u, 100u}) {
        EXPECT_FALSE(DialogsForEdition(id).has_value());
        EXPECT_FALSE(EditionMainWindow(id).has_value());
    }
}

TEST(AntivirusEarlierEditions, FirstGenerationAndPackageWindows) {
    const auto xp = FirstGenerationWindows(u"XP");
    ASSERT_EQ(xp.size(), 1u);
    EXPECT_EQ(xp[0].window_class, u"NimXP");
    EXPECT_EQ(xp[0].title, u"Nim for Windows XP");
    const auto me = FirstGenerationWindows(u"ME");
    ASSERT_EQ(me.size(), 2u);
    EXPECT_EQ(me[1].window_class, u"Nim98");
    EXPECT_EQ(me[1].title, u"Nim for Windows 98");
    const WindowName defaults = PackageMainWindow(u"", u"");
    EXPECT_EQ(defaults.window_class, u"QXAVAPP");
    EXPECT_EQ(defaults.title, u"Kelvan QX Antivirus");
    const WindowName own = PackageMainWindow(u"XJAVAPP", u"Kelvan Vuvu-Roved");
    EXPECT_EQ(own.window_class, u"XJAVAPP");
    EXPECT_EQ(own.title, u"Kelvan Vuvu-Roved");
}

}  // namespace
}  // namespace olvex::setup::antivirus
