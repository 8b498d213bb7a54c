#include "setup/core/setup_options.h"

#include <gtest/gtest.h>

#include "setup/core/setup_test_support.h"

namespace olvex::setup {
namespace {

using testing::RecordingHost;

TEST(SetupOptionsTest, ModeFromTheProgramsName) {
    const std::pair<std::u16string, SetupMode> cases[] = {
        {u"xjuninst.exe", kModeUninstall},   {u"XJUNINST.EXE", kModeUninstall},
        {u"trustadd.exe", kModeTrustList},   {u"TrustAdd.Exe", kModeTrustList},
        {u"XJCU_007.EXE", kModeCleanup},     {u"xjcu_002.exe", kModeCleanup},
        {u"xjcu.exe", kModeInstall},         {u"Tramlet.exe", kModeInstall},
        {u"xjuninst.exe.old", kModeInstall}, {u"", kModeInstall},
    };
    for (const auto& [name, mode] : cases) {
        EXPECT_EQ(ModeFromFileName(name), mode) << ToUtf8(name);
        EXPECT_EQ(SetupOptions(name).mode, mode) << ToUtf8(name);
    }
}

struct ParseCase {
    std::u16string program;
    std::u16string command_line;
    int32_t mode;
    int32_t display_level;  // the options'
    int32_t logger_display;
    int32_t logger_log;
};

TEST(SetupOptionsTest, SwitchesApplyInOrderAndHandLevelsToTheLogger) {
    const ParseCase cases[] = {
        // A switch overrides the mode from the name; the last one wins.
        {u"trustadd.exe", u"/u", kModeUninstall, -1, 2, 3},
        {u"Tramlet.exe", u"/i /t -C", kModeCleanup, -1, 2, 3},
        {u"xjuninst.exe", u"\\Install", kModeInstall, -1, 2, 3},
        {u"Tramlet.exe", u"/Silent /DisplayLevel=3", kModeInstall, 3, 3, 3},
        {u"Tramlet.exe", u"/DisplayLevel=3 /silent", kModeInstall, 0, 0, 3},
        // Out of range: kept in the options, ignored by the logger.
        {u"Tramlet.exe", u"/DisplayLevel=9", kModeInstall, 9, 2, 3},
        {u"Tramlet.exe", u"/DisplayLevel=-1", kModeInstall, -1, 2, 3},
        {u"Tramlet.exe", u"/LogLevel=abc", kModeInstall, -1, 2, 0},
        {u"Tramlet.exe", u"/loglevel=4x", kModeInstall, -1, 2, 4},
        {u"Tramlet.exe", u"/LogLevel=99999999999999", kModeInstall, -1, 2, 3},
        // Not switches, or unknown: no effect.
        {u"Tramlet.exe", u"u Silent /LogLevel /DisplayLevel:1 /Uninstaller", kModeInstall, -1, 2,
         3},
    };
    for (const ParseCase& c : cases) {
        RecordingHost host;
        SetupLogger logger(host);
        SetupOptions options(c.program);
        EXPECT_EQ(options.Parse(c.command_line, logger), 0);
        const std::string label = testing::Utf8(c.program + u" " + c.command_line);
        EXPECT_EQ(options.mode, c.mode) << label;
        EXPECT_EQ(options.display_level, c.display_level) << label;
        EXPECT_EQ(logger.display_level(), c.logger_display) << label;
        EXPECT_EQ(logger.log_level(), c.logger_log) << label;
    }
}

TEST(SetupOptionsTest, FlagsPathAndGroup) {
    RecordingHost host;
    SetupLogger logger(host);
    SetupOptions options(u"Tramlet.exe");
    EXPECT_TRUE(options.scan && options.update_from_web && options.update_firewall &&
                options.product_check && options.uninstall_info && options.program_group &&
                options.reboot);
    EXPECT_FALSE(options.destination_given);
    options.Parse(
        u"/NoScan -noupdatefromweb \\NoUpdateFirewall /IgnoreOtherAV /NoUninstallInfo "
        u"/NOPROGRAMGROUP /NoReboot /ProductDest=D:\\x "
        u"/Path=\"C:\\Program Files\\My Suite\" /Group=",
        logger);
    EXPECT_FALSE(options.scan);
    EXPECT_FALSE(options.update_from_web);
    EXPECT_FALSE(options.update_firewall);
    EXPECT_FALSE(options.product_check);
    EXPECT_FALSE(options.uninstall_info);
    EXPECT_FALSE(options.program_group);
    EXPECT_FALSE(options.reboot);
    EXPECT_TRUE(options.destination_given);
    EXPECT_EQ(options.GetPath(), u"C:\\Program Files\\My Suite");
    EXPECT_EQ(options.GetGroup(), u"");

    SetupOptions product_check(u"Tramlet.exe");
    product_check.Parse(u"/NoProductCheck /Group=Security Tools", logger);
    EXPECT_FALSE(product_check.product_check);
    EXPECT_EQ(product_check.GetGroup(), u"Security");
}

TEST(SetupOptionsTest, AnOverLongDestinationStaysGivenButEmpty) {
    const std::u16string long_path = u"C:\\" + std::u16string(2100, u'a');
    RecordingHost host;
    SetupLogger logger(host);

    SetupOptions refused(u"Tramlet.exe");
    refused.Parse(u"/Path=C:\\Good /Path=\"" + long_path + u"\" /Silent", logger);
    EXPECT_TRUE(refused.destination_given);
    EXPECT_EQ(refused.GetPath(), u"");
    EXPECT_EQ(refused.display_level, 0);

    // A later valid switch still wins.
    SetupOptions corrected(u"Tramlet.exe");
    corrected.Parse(u"/ProductDest=" + long_path + u" /ProductDest=C:\\Good", logger);
    EXPECT_EQ(corrected.GetPath(), u"C:\\Good");

    // Another refused argument has no effect but is reported once the log
    // is open.
    SetupOptions other(u"Tramlet.exe");
    other.Parse(u"/Group=" + long_path, logger);
    EXPECT_FALSE(other.destination_given);
    EXPECT_EQ(other.GetGroup(), u"");
    EXPECT_TRUE(host.files.empty());
    other.ReportRefusedArguments(logger);
    const auto lines = host.Lines(logger.path());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0],
              "Monday, 1 January 2024, 10:00:00 (25551) Setup ignored a command-line argument of "
              "more than 2048 characters: /Group=C:\\" +
                  std::string(54, 'a') + "...");
}

}  // namespace
}  // namespace olvex::setup
