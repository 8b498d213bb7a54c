#include "setup/core/os_identity.h"

#include <gtest/gtest.h>

#include "setup/core/setup_test_support.h"

namespace olvex::setup::util {
namespace {

OsVersion Version(uint32_t platform, uint32_t major, uint32_t minor, uint32_t build,
                  std::u16string service_pack = {}) {
    OsVersion version;
    version.platform = platform;
    version.major = major;
    version.minor = minor;
    version.build = build;
    version.service_pack = std::move(service_pack);
    return version;
}

TEST(OsIdentityTest, OsIdsFromTheVersionRecord) {
    struct Case {
        OsVersion version;
        OsId id;
    };
    const Case cases[] = {
        {Version(1, 4, 0, 0x040003B6), kOsWindows95},
        {Version(1, 4, 3, 0x04030000), kOsWindows95},
        {Version(1, 4, 10, 0x040A08AE), kOsWindows98},
        {Version(1, 4, 90, 0x045A0BB8), kOsWindowsMe},
        // Windows ME reporting minor 10 with the build's minor byte 90.
        {Version(1, 4, 10, 0x045A0BB8), kOsWindowsMe},
        {Version(1, 4, 89, 0x04590000), kOsWindows95},
        {Version(2, 3, 51, 1057), kOsWindowsNt4},
        {Version(2, 4, 0, 1381), kOsWindowsNt4},
        {Version(2, 5, 0, 2195), kOsWindows2000},
        {Version(2, 5, 1, 2600), kOsWindowsXp},
        {Version(2, 5, 2, 3790), kOsWindows2003},
        {Version(2, 5, 3, 0), kOsWindowsNt4},
        {Version(2, 6, 1, 7601), kOsWindowsNt4},
        {Version(0, 3, 10, 0), kOsUnknown},
        {Version(3, 5, 1, 0), kOsUnknown},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(OsIdFromVersion(c.version), c.id)
            << c.version.platform << " " << c.version.major << "." << c.version.minor;
    }
    EXPECT_EQ(NormalizeOsVersion(Version(1, 4, 10, 0x045A0BB8)).minor, 90u);
    EXPECT_EQ(NormalizeOsVersion(Version(2, 5, 10, 0x045A0BB8)).minor, 10u);
}

TEST(OsIdentityTest, NamesAndDescriptions) {
    const std::pair<OsId, const char16_t*> short_names[] = {
        {kOsWindows95, u"95"},     {kOsWindows98, u"98"},     {kOsWindowsMe, u"ME"},
        {kOsWindowsNt4, u"NT"},    {kOsWindows2000, u"2000"}, {kOsWindowsXp, u"XP"},
        {kOsWindows2003, u"2003"}, {kOsUnknown, u""},
    };
    for (const auto& [id, name] : short_names) {
        EXPECT_EQ(WindowsShortName(id), name);
    }
    EXPECT_EQ(WindowsName(kOsWindows2003, false), u"Windows .NET");
    EXPECT_EQ(WindowsName(kOsWindows2003, true), u"Windows .NET Server");
    EXPECT_EQ(WindowsName(kOsWindowsMe, false), u"Windows ME");

    struct Case {
        OsVersion version;
        bool server;
        std::u16string text;
    };
    const Case cases[] = {
        {Version(2, 5, 1, 2600, u"Service Pack 2"), false,
         u"Windows XP 5.01 (5.01.2600) + Service Pack 2"},
        {Version(2, 5, 2, 3790), true, u"Windows .NET Server 5.02 (5.02.3790)"},
        {Version(2, 4, 0, 1381, u"Service Pack 6"), true,
         u"Windows NT Server 4.00 (4.00.1381) + Service Pack 6"},
        {Version(1, 4, 10, 0x040A08AE, u" A "), true, u"Windows 98 4.10 (2222) +  A "},
        {Version(1, 4, 10, 0x045A0BB8), false, u"Windows ME 4.90 (3000)"},
        {Version(0, 7, 0, 12), false, u"OSID=0 (7.00.12)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(OperatingSystemDescription(c.version, c.server), c.text);
    }
    EXPECT_EQ(
        OperatingSystemDescription(Version(2, 5, 1, 2600, std::u16string(500, u's')), false).size(),
        383u);
}

TEST(OsIdentityTest, WorkstationProductTypeInAnyCase) {
    EXPECT_TRUE(IsWorkstationProductType(u"WinNT"));
    EXPECT_TRUE(IsWorkstationProductType(u"WINNT"));
    EXPECT_FALSE(IsWorkstationProductType(u"ServerNT"));
    EXPECT_FALSE(IsWorkstationProductType(u"LanmanNT"));
    EXPECT_FALSE(IsWorkstationProductType(u""));
}

TEST(OsIdentityTest, UserSessions) {
    const TerminalSession console{0, 0, u"alice"};
    const TerminalSession remote{2, 0, u"bob"};
    const TerminalSession away{3, 4, u"carol"};
    const TerminalSession listener{65536, 6, u""};
    const TerminalSession nobody{4, 4, u""};
    EXPECT_EQ(UserSessionCount({}), 0u);
    EXPECT_EQ(UserSessionCount({console, listener, nobody}), 1u);
    EXPECT_EQ(UserSessionCount({console, remote, away, listener}), 3u);

    testing::RecordingHost host;
    SetupLogger logger(host);
    EXPECT_EQ(CheckUserSessions(std::nullopt, logger), 0u);
    EXPECT_EQ(CheckUserSessions(std::vector<TerminalSession>{}, logger), 0u);
    EXPECT_EQ(CheckUserSessions(std::vector<TerminalSession>{console, nobody}, logger), 0u);
    EXPECT_TRUE(host.files.empty());
    EXPECT_EQ(CheckUserSessions(std::vector<TerminalSession>{console, away}, logger), 9007u);
    EXPECT_EQ(
        host.Lines(logger.path()),
        std::vector<std::string>{
            "Monday, 1 January 2024, 10:00:00 (25507) Other user sessions are open - Value = 2"});
}

}  // namespace
}  // namespace olvex::setup::util
