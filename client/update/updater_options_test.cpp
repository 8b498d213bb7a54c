#include "client/update/updater_options.h"

#include <gtest/gtest.h>

namespace olvex {
namespace {

TEST(PelloryCommandLineTest, OptionsAndInvalidWords) {
    struct Case {
        std::vector<std::string> parameters;
        bool autoupdate, installupdate, noninteractive, invalid;
    };
    const Case cases[] = {
        {{}, false, false, false, false},
        {{"-autoupdate"}, true, false, false, false},
        {{"/AutoUpdate"}, true, false, false, false},
        // A flag that goes on after the word still counts.
        {{"-autoupdatenow"}, true, false, false, false},
        {{"/installupdate"}, false, true, false, false},
        {{"/NONINTERACTIVE"}, false, false, true, false},
        {{"/installupdate", "-noninteractive"}, false, true, true, false},
        {{"word"}, false, false, false, true},
        {{"/unknown"}, false, false, false, true},
        {{"/"}, false, false, false, true},
        {{"-auto"}, false, false, false, true},
        {{"/autoupdate", "/unknown"}, true, false, false, false},
        {{"/unknown", "/autoupdate"}, true, false, false, true},
        // A plain word after an option is still invalid; an empty one is not.
        {{"/autoupdate", "word"}, true, false, false, true},
        {{"word", ""}, false, false, false, false},
        {{"", "/unknown"}, false, false, false, true},
        {{"//autoupdate"}, false, false, false, true},
    };
    for (const Case& c : cases) {
        const PelloryCommandLine parsed = ParsePelloryCommandLine(c.parameters);
        SCOPED_TRACE(::testing::PrintToString(c.parameters));
        EXPECT_EQ(parsed.autoupdate, c.autoupdate);
        EXPECT_EQ(parsed.installupdate, c.installupdate);
        EXPECT_EQ(parsed.noninteractive, c.noninteractive);
        EXPECT_EQ(parsed.invalid, c.invalid);
    }
}

TEST(UpdaterSettingsTest, ReadsBothKeys) {
    struct Case {
        const char* text;
        UpdateProcedure procedure;
        std::int64_t last_update;
    };
    const Case cases[] = {
        {"", UpdateProcedure::kNotifyFirst, 0},
        {"updateproc=1\nlastupdate=1700000000\n", UpdateProcedure::kInstallAutomatically,
         1700000000},
        {"updateproc=3  \r\nlastupdate=42  \r\n", UpdateProcedure::kManualOnly, 42},
        {"updateproc=7\n", UpdateProcedure::kNotifyFirst, 0},
        {"updateproc=12\n", UpdateProcedure::kNotifyFirst, 0},
        {"updateproc= 1\n", UpdateProcedure::kNotifyFirst, 0},
        // Beyond 32 bits, and read as far as it is a number.
        {"lastupdate=4102444800\n", UpdateProcedure::kNotifyFirst, 4102444800},
        {"lastupdate=123abc\n", UpdateProcedure::kNotifyFirst, 123},
        {"lastupdate=-5\n", UpdateProcedure::kNotifyFirst, -5},
        {"lastupdate=x\n", UpdateProcedure::kNotifyFirst, 0},
        {"lastupdate=99999999999999999999999\n", UpdateProcedure::kNotifyFirst,
         9223372036854775807},
        // A line naming both keys is a "lastupdate" line; no "=" reads the line.
        {"lastupdate updateproc=3\n", UpdateProcedure::kNotifyFirst, 3},
        {"updateproc\nlastupdate\n", UpdateProcedure::kNotifyFirst, 0},
        // The later line wins.
        {"updateproc=1\nupdateproc=3\n", UpdateProcedure::kManualOnly, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const UpdaterSettings settings = ParseUpdaterSettings(c.text);
        EXPECT_EQ(settings.procedure, c.procedure);
        EXPECT_EQ(settings.last_update, c.last_update);
    }
}

TEST(UpdaterSettingsTest, WritesWhatItReads) {
    const UpdaterSettings settings{UpdateProcedure::kManualOnly, 4102444800};
    EXPECT_EQ(FormatUpdaterSettings(settings), "updateproc=3\nlastupdate=4102444800\n");
    EXPECT_EQ(ParseUpdaterSettings(FormatUpdaterSettings(settings)), settings);
}

TEST(ChannelUrlsTest, KeysByLine) {
    EXPECT_FALSE(ParseChannelUrls(""));
    const auto all = ParseChannelUrls(
        "coreurl=http://127.0.0.1:8000/core/qzmaster.dat  \r\n"
        "progurl=http://127.0.0.1:8000/prog/qzmaster.dat\r\n"
        "tromburl=http://127.0.0.1:8000/suite/a=b\r\n");
    ASSERT_TRUE(all);
    EXPECT_EQ(all->core, "http://127.0.0.1:8000/core/qzmaster.dat");
    EXPECT_EQ(all->program, "http://127.0.0.1:8000/prog/qzmaster.dat");
    EXPECT_EQ(all->suite, "http://127.0.0.1:8000/suite/a=b");

    // Only "coreurl": the program's address stays empty.
    const auto core_only = ParseChannelUrls("coreurl=http://x/qzmaster.dat\n");
    ASSERT_TRUE(core_only);
    EXPECT_EQ(core_only->program, "");

    // The first key in the order core, program, suite decides a line.
    const auto mixed = ParseChannelUrls("progurl=coreurl\nx\n");
    ASSERT_TRUE(mixed);
    EXPECT_EQ(mixed->core, "coreurl");
    EXPECT_EQ(mixed->program, "");

    // A file with lines but no key: every address empty, not the defaults.
    EXPECT_EQ(ParseChannelUrls("\n"), ChannelUrls{});
}

TEST(StartupDecisionTest, ModesByOptionsClockAndProcedure) {
    constexpr std::int64_t now = 1800000000;
    const PelloryCommandLine none;
    PelloryCommandLine autoupdate;
    autoupdate.autoupdate = true;
    PelloryCommandLine install;
    install.installupdate = true;
    PelloryCommandLine noninteractive;
    noninteractive.noninteractive = true;
    PelloryCommandLine auto_and_noninteractive = autoupdate;
    auto_and_noninteractive.noninteractive = true;
    struct Case {
        const char* name;
        PelloryCommandLine command_line;
        std::int64_t last_update;
        UpdateProcedure procedure;
        StartupAction action;
    };
    const auto notify = UpdateProcedure::kNotifyFirst;
    const Case cases[] = {
        {"no option", none, 0, notify, StartupAction::kShowMainDialog},
        {"auto within a day", autoupdate, now - 3600, notify, StartupAction::kNothing},
        {"auto one second short", autoupdate, now - kSecondsPerDay + 1, notify,
         StartupAction::kNothing},
        {"auto after exactly a day", autoupdate, now - kSecondsPerDay, notify,
         StartupAction::kPromptedUpdate},
        {"auto after 25 h, procedure 1", autoupdate, now - 25 * 3600,
         UpdateProcedure::kInstallAutomatically, StartupAction::kSilentUpdate},
        {"auto after 25 h, procedure 2", autoupdate, now - 25 * 3600, notify,
         StartupAction::kPromptedUpdate},
        {"auto after 25 h, procedure 3", autoupdate, now - 25 * 3600, UpdateProcedure::kManualOnly,
         StartupAction::kNothing},
        {"auto never updated, procedure 3", autoupdate, 0, UpdateProcedure::kManualOnly,
         StartupAction::kNothing},
        {"auto never updated, procedure 1", autoupdate, 0, UpdateProcedure::kInstallAutomatically,
         StartupAction::kSilentUpdate},
        {"auto, last update in the future, procedure 1", autoupdate, now + 3600,
         UpdateProcedure::kInstallAutomatically, StartupAction::kSilentUpdate},
        {"auto, last update in the future, procedure 3", autoupdate, now + 3600,
         UpdateProcedure::kManualOnly, StartupAction::kNothing},
        {"auto within a day, procedure 1", autoupdate, now - 3600,
         UpdateProcedure::kInstallAutomatically, StartupAction::kNothing},
        {"noninteractive and auto, procedure 3", auto_and_noninteractive, now - 10,
         UpdateProcedure::kManualOnly, StartupAction::kSilentUpdate},
        {"noninteractive within a day", noninteractive, now - 10, UpdateProcedure::kManualOnly,
         StartupAction::kSilentUpdate},
        {"install, procedure 1", install, now - 10, UpdateProcedure::kInstallAutomatically,
         StartupAction::kAutoApply},
        {"install, procedure 2", install, now - 10, notify, StartupAction::kPromptedUpdate},
        {"install, procedure 3", install, now - 10, UpdateProcedure::kManualOnly,
         StartupAction::kNothing},
        {"install after a day", install, now - 2 * kSecondsPerDay, UpdateProcedure::kManualOnly,
         StartupAction::kSilentUpdate},
        {"oldest time", autoupdate, INT64_MIN, notify, StartupAction::kPromptedUpdate},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const StartupDecision decision =
            DecideStartup(c.command_line, now, UpdaterSettings{c.procedure, c.last_update});
        EXPECT_EQ(decision.action, c.action);
        EXPECT_EQ(decision.records_update, c.action != StartupAction::kShowMainDialog &&
                                               c.action != StartupAction::kNothing);
    }
}

}  // namespace
}  // namespace olvex
