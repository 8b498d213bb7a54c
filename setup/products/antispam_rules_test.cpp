#include "setup/products/antispam_rules.h"

#include <gtest/gtest.h>

#include <set>

#include "setup/core/setup_strings.h"
#include "setup/core/setup_text.h"

namespace olvex::setup {
namespace {

std::string Narrow(std::u16string_view text) {
    return ToUtf8(text);
}

OsVersion Os(uint32_t platform, uint32_t major, uint32_t minor, uint32_t build) {
    OsVersion os;
    os.platform = platform;
    os.major = major;
    os.minor = minor;
    os.build = build;
    return os;
}

TEST(AntiSpamRules, TablesNameTheProductAndTheSuitesEntryFirst) {
    static_assert(std::size(kAntiSpamUninstallNames) == 4);
    static_assert(std::size(kAntiSpamShortcutFolders) == 3);
    EXPECT_EQ(kAntiSpamUninstallNames[0], u"Zalt {610B2370-F55F-4A0A-932B-EBDB99FFCE6D}");
    EXPECT_EQ(kAntiSpamUninstallNames[1], u"Kelvan Suite Personal\\as");
    for (const auto name : kAntiSpamUninstallNames) {
        EXPECT_FALSE(name.empty());
    }
}

TEST(AntiSpamRules, RefusesWindows95AndNtBelow4Only) {
    struct Case {
        OsVersion os;
        const char16_t* refused;  // null: passes
    };
    const Case cases[] = {
        {Os(2, 3, 51, 1057), u"Windows NT 3.51"},
        {Os(2, 3, 5, 807), u"Windows NT 3.05"},
        {Os(1, 4, 0, 950), u"Windows 95"},
        {Os(2, 4, 0, 1381), nullptr},   // NT 4
        {Os(1, 4, 10, 1998), nullptr},  // 98
        {Os(1, 4, 90, 3000), nullptr},  // ME
        {Os(2, 5, 0, 2195), nullptr},
        {Os(2, 5, 1, 2600), nullptr},
        {Os(2, 5, 2, 3790), nullptr},
        {Os(2, 6, 1, 7601), nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.os.platform) + " " + std::to_string(c.os.major) + "." +
                     std::to_string(c.os.minor));
        const auto refused = AntiSpamRefusedWindows(c.os);
        if (c.refused) {
            EXPECT_EQ(refused, std::u16string(c.refused));
        } else {
            EXPECT_FALSE(refused.has_value()) << Narrow(refused.value_or(u""));
        }
    }
}

TEST(AntiSpamRules, TheFolderFollowsSilentUnquoted) {
    EXPECT_EQ(
        AntiSpamInstallSwitches(u"C:\\Program Files\\Kelvan Suite Personal\\Kelvan Anti-Spam"),
        u"/silent C:\\Program Files\\Kelvan Suite Personal\\Kelvan Anti-Spam");
    EXPECT_EQ(AntiSpamInstallSwitches(u"C:\\AS"), u"/silent C:\\AS");
}

TEST(AntiSpamRules, ThePackageMustNotBeNewerThanWhatGotRegistered) {
    struct Case {
        const char16_t* package;
        const char16_t* installed;
        bool fell_short;
    };
    const Case cases[] = {
        {u"3.1.0.12", u"3.1.0.12", false},
        {u"3.1.0.12", u"3.1.0.13", false},
        {u"3.1.0.12", u"4.0", false},
        {u"3.1.0.12", u"3.1.0.11", true},
        {u"3.1.0.12", u"0", true},
        {u"3.1", u"3.1.0.0", false},
        {u"", u"0", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AntiSpamInstallFellShort(c.package, c.installed), c.fell_short)
            << Narrow(c.package) << " over " << Narrow(c.installed);
    }
}

TEST(AntiSpamRules, StandAloneHasTheUpdaterButNotTheCompanionLibrary) {
    std::set<std::u16string> files;
    const auto exists = [&](std::u16string_view path) {
        return files.count(std::u16string(path)) != 0;
    };
    const std::u16string folder = u"C:\\Program Files\\Zalt";
    EXPECT_FALSE(IsStandaloneAntiSpamFolder(folder, u"zsuite.dll", exists));
    files.insert(folder + u"\\z-update.exe");
    EXPECT_TRUE(IsStandaloneAntiSpamFolder(folder, u"zsuite.dll", exists));
    // A trailing backslash in the registration changes nothing.
    EXPECT_TRUE(IsStandaloneAntiSpamFolder(folder + u"\\", u"zsuite.dll", exists));
    files.insert(folder + u"\\zsuite.dll");
    EXPECT_FALSE(IsStandaloneAntiSpamFolder(folder, u"zsuite.dll", exists));
    EXPECT_FALSE(IsStandaloneAntiSpamFolder(u"", u"zsuite.dll", exists));
    EXPECT_FALSE(IsStandaloneAntiSpamFolder(u"  ", u"zsuite.dll", exists));
}

TEST(AntiSpamRules, DataFoldersBeginWithZsp) {
    for (const std::u16string_view name :
         {u"ZSP-", u"ZSP-1", u"ZSP-data.001", u"zsp-Mail", u"Zsp-.x"}) {
        EXPECT_TRUE(IsAntiSpamDataFolder(name)) << Narrow(name);
    }
    for (const std::u16string_view name : {u"ZSP", u"ZSPdata", u"xZSP-1", u"", u".", u".."}) {
        EXPECT_FALSE(IsAntiSpamDataFolder(name)) << Narrow(name);
    }
}

TEST(AntiSpamRules, WebAddressesCarryTheThreeValuesEscaped) {
    for (const uint32_t id : {24520u, 24521u}) {
        const std::u16string_view format = EnglishSetupString(id);
        ASSERT_FALSE(format.empty()) << id;
        const std::u16string address =
            AntiSpamWebAddress(format, u"{610B2370-F55F-4A0A-932B-EBDB99FFCE6D}", u"3.1.0.12",
                               u"Kelvan Suite Personal");
        SCOPED_TRACE(Narrow(address));
        EXPECT_EQ(address.rfind(u"http://", 0), 0u);
        EXPECT_NE(address.find(u".example.com/"), std::u16string::npos);
        EXPECT_NE(address.find(u"GUID=%7B610B2370-F55F-4A0A-932B-EBDB99FFCE6D%7D"),
                  std::u16string::npos);
        EXPECT_NE(address.find(u"RT=3.1.0.12"), std::u16string::npos);
        EXPECT_NE(address.find(u"BRAND=Kelvan%20Suite%20Personal"), std::u16string::npos);
    }
    // A value is never read as part of the format, and an ampersand in it
    // cannot start a key of its own.
    EXPECT_EQ(AntiSpamWebAddress(u"x?GUID=%s&RT=%s&BRAND=%s", u"%s", u"a&b=c", u"\u00e9"),
              u"x?GUID=%25s&RT=a%26b%3Dc&BRAND=%C3%A9");
}

TEST(AntiSpamRules, RegistryTestsGrowWithTheSuiteAndOutsideInstall) {
    AntiSpamRegistryFacts facts;
    facts.own_uninstall_key = u"U\\own";
    facts.suite_uninstall_key = u"U\\suite\\as";
    const auto install = AntiSpamRegistryTests(facts);
    ASSERT_EQ(install.size(), 4u);
    EXPECT_EQ(install[0].keys.front(), u"SOFTWARE\\Zalt");
    EXPECT_FALSE(install[0].remember_first);
    EXPECT_EQ(install[1].keys.size(), 3u);
    EXPECT_TRUE(install[1].remember_first);
    EXPECT_EQ(install[2].keys, std::vector<std::u16string>{u"U\\own"});
    EXPECT_EQ(install[3].keys.front(),
              u"SOFTWARE\\Microsoft\\Office\\Outlook\\Addins\\Zalt.ZAddIn");

    facts.suite_present = true;
    facts.install_mode = false;
    const auto uninstall = AntiSpamRegistryTests(facts);
    ASSERT_EQ(uninstall.size(), 7u);
    EXPECT_EQ(uninstall[4].keys.back(), u"U\\suite\\as");
    EXPECT_EQ(uninstall[5].keys.back(), u"SOFTWARE\\Vorandel\\Kelvan Suite Personal");
    EXPECT_TRUE(uninstall[5].remember_first);
    EXPECT_EQ(uninstall[6].keys, std::vector<std::u16string>{kAntiSpamSettingsKey});
}

}  // namespace
}  // namespace olvex::setup
