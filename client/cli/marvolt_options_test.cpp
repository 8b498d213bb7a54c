#include "client/cli/marvolt_options.h"

#include <gtest/gtest.h>

namespace olvex {
namespace {

TEST(MarvoltCommandLineTest, ActionWordsTheLastWins) {
    struct Case {
        std::vector<std::string> parameters;
        MarvoltAction action;
    };
    const Case cases[] = {
        {{}, MarvoltAction::kQuarantine},
        {{"/quarantine"}, MarvoltAction::kQuarantine},
        {{"/IGNORE"}, MarvoltAction::kIgnore},
        {{"ignore"}, MarvoltAction::kIgnore},
        {{"-Exclude"}, MarvoltAction::kExclude},
        {{"/delete"}, MarvoltAction::kDelete},
        {{"ignore", "delete"}, MarvoltAction::kDelete},
        {{"/delete", "/ignore"}, MarvoltAction::kIgnore},
        {{"/ignore", "/unknown"}, MarvoltAction::kIgnore},
        {{"//ignore"}, MarvoltAction::kQuarantine},
        {{"/ignorex"}, MarvoltAction::kQuarantine},
        {{"/"}, MarvoltAction::kQuarantine},
    };
    for (const Case& c : cases) {
        const auto parsed = ParseMarvoltCommandLine(c.parameters);
        EXPECT_EQ(parsed.action, c.action) << ::testing::PrintToString(c.parameters);
        EXPECT_FALSE(parsed.document);
    }
}

TEST(MarvoltCommandLineTest, FirstPlainWordIsADocument) {
    const auto parsed = ParseMarvoltCommandLine({"/ignore", "report.txt", "other.txt", "-x"});
    EXPECT_EQ(parsed.action, MarvoltAction::kIgnore);
    ASSERT_TRUE(parsed.document);
    EXPECT_EQ(*parsed.document, "report.txt");
}

TEST(MarvoltSettingsTest, ReadsTheThreeSettingsInPrecedence) {
    const auto settings = ParseMarvoltSettings(
        "errorsound=1\r\nprevresearch=1\r\nguid={ABC-123}  \r\ndonesound=0\r\ntruncate= 7\r\n");
    EXPECT_TRUE(settings.prevalence_research);
    EXPECT_EQ(settings.machine_id, "{ABC-123}");
    EXPECT_TRUE(settings.truncate);

    // A line naming two settings sets only the first in precedence; lines
    // without "=" or with a word for a number read as 0.
    const auto odd = ParseMarvoltSettings("guid=prevresearch\ntruncate\nprevresearch=on");
    EXPECT_FALSE(odd.prevalence_research);
    EXPECT_EQ(odd.machine_id, "");
    EXPECT_FALSE(odd.truncate);

    const auto none = ParseMarvoltSettings("");
    EXPECT_FALSE(none.prevalence_research);
    EXPECT_FALSE(none.truncate);
    EXPECT_TRUE(none.machine_id.empty());
}

TEST(MarvoltSettingsTest, ValueAfterTheFirstEquals) {
    const auto settings = ParseMarvoltSettings("guid=a=b \ntruncate=0\nprevresearch=-1");
    EXPECT_EQ(settings.machine_id, "a=b");
    EXPECT_FALSE(settings.truncate);
    EXPECT_TRUE(settings.prevalence_research);
}

}  // namespace
}  // namespace olvex
