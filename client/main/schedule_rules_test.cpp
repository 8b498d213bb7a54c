// Scheduled scans' names, contents and time rules.
#include "client/main/schedule_rules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace olvex {
namespace {

TEST(ScheduleRulesTest, JobNamesAreSanitisedAndGiveTheListedDescription) {
    struct Case {
        const char* account;
        const char* time;
        const char* name;
    };
    const Case cases[] = {
        {"alice", "8:30 PM", "QZv5Scan_Daily as alice at 8 30 PM"},
        {"CORP\\alice", "7:05 AM", "QZv5Scan_Daily as CORP alice at 7 05 AM"},
        {"a.b_c-d", "20:05", "QZv5Scan_Daily as a b_c-d at 20 05"},
        // Characters outside ASCII become blanks too.
        {"J\xF6rg", "08:00", "QZv5Scan_Daily as J rg at 08 00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.account);
        const auto name = MakeScanJobName(c.account, c.time);
        ASSERT_TRUE(name);
        EXPECT_EQ(*name, c.name);
        const auto description = DescriptionOfJobFile(*name + ".job");
        ASSERT_TRUE(description);
        EXPECT_EQ(JobFileNameOf(*description), *name + ".job");
    }
    // The scheduler takes 255 characters: a longer name is refused, not cut.
    EXPECT_TRUE(MakeScanJobName(std::string(255 - 30, 'a'), "1:00 AM"));
    EXPECT_FALSE(MakeScanJobName(std::string(255, 'a'), "1:00 AM"));
}

TEST(ScheduleRulesTest, OnlyThisProgramsJobsHaveADescription) {
    EXPECT_EQ(DescriptionOfJobFile("QZv5Scan_Daily as bob at 1 00 AM.job"),
              "Daily as bob at 1 00 AM");
    EXPECT_FALSE(DescriptionOfJobFile("qzv5scan_Daily as bob.job"));  // case-sensitive
    EXPECT_FALSE(DescriptionOfJobFile("Other task.job"));
    EXPECT_FALSE(DescriptionOfJobFile("QZv5Scan"));
    EXPECT_EQ(DescriptionOfJobFile("QZv5Scan_.job"), "");
}

TEST(ScheduleRulesTest, BareNamesLoseOnlyAJobExtension) {
    EXPECT_EQ(BareJobName("QZv5Scan_x.job"), "QZv5Scan_x");
    EXPECT_EQ(BareJobName("QZv5Scan_x.JOB"), "QZv5Scan_x");
    EXPECT_EQ(BareJobName("QZv5Scan_x"), "QZv5Scan_x");
    EXPECT_EQ(BareJobName("job"), "job");
    EXPECT_EQ(BareJobName(".job"), "");
    EXPECT_TRUE(SameJobFile("QZv5Scan_A.job", "qzv5scan_a.JOB"));
    EXPECT_FALSE(SameJobFile("QZv5Scan_A.job", "QZv5Scan_B.job"));
}

TEST(ScheduleRulesTest, ApplicationNameMustBeShorterThan103Characters) {
    EXPECT_EQ(ScannerApplicationName("C:\\Program Files\\Kelvan Gorsewatch\\"),
              "\"C:\\Program Files\\Kelvan Gorsewatch\\Marvolt.exe\"");
    // Two quotes and "Marvolt.exe" around the folder.
    const std::size_t room = 102 - 2 - std::strlen("Marvolt.exe");
    EXPECT_TRUE(ScannerApplicationName(std::string(room, 'f')));
    EXPECT_FALSE(ScannerApplicationName(std::string(room + 1, 'f')));
}

TEST(ScheduleRulesTest, ParametersAndFlagsFollowTheChoices) {
    EXPECT_STREQ(ScanParameters(true), "/quarantine");
    EXPECT_STREQ(ScanParameters(false), "/ignore");
    EXPECT_FALSE(ParametersQuarantine("/ignore"));
    for (const char* other : {"/quarantine", "/IGNORE", "", "/ignore "})
        EXPECT_TRUE(ParametersQuarantine(other)) << other;
    EXPECT_EQ(ScanJobFlags(true), 0x2002u);
    EXPECT_EQ(ScanJobFlags(false), 0x2u);
}

TEST(ScheduleRulesTest, DailyTriggerIsTheSchedulersRecord) {
    const TriggerRecord trigger = DailyTrigger({2026, 12, 11}, 23, 50);
    unsigned char bytes[48];
    std::memcpy(bytes, &trigger, sizeof(bytes));
    const unsigned char expected[48] = {
        48, 0, 0,  0, 0xEA, 0x07, 12, 0, 11, 0,        // size, reserved, begin date
        0,  0, 0,  0, 0,    0,                         // no end date
        23, 0, 50, 0,                                  // start
        0,  0, 0,  0, 0,    0,    0,  0, 0,  0, 0, 0,  // no repetition, no flags
        1,  0, 0,  0,                                  // daily
        1,  0, 0,  0, 0,    0,    0,  0,               // every day
        0,  0, 0,  0};
    EXPECT_EQ(std::memcmp(bytes, expected, sizeof(bytes)), 0);
    EXPECT_EQ(TriggerMinutes(trigger), 23 * 60 + 50);
}

TEST(ScheduleRulesTest, ConflictsCountWithinTwentyMinutesRoundMidnight) {
    struct Case {
        int existing;
        int wanted;
        TimeConflict conflict;
    };
    const Case cases[] = {
        {8 * 60, 8 * 60, TimeConflict::kSameTime},  {8 * 60, 8 * 60 + 19, TimeConflict::kNear},
        {8 * 60, 8 * 60 + 20, TimeConflict::kNone}, {8 * 60, 7 * 60 + 41, TimeConflict::kNear},
        {8 * 60, 7 * 60 + 40, TimeConflict::kNone}, {5, 23 * 60 + 50, TimeConflict::kNear},
        {0, 23 * 60 + 40, TimeConflict::kNone},     {23 * 60 + 59, 0, TimeConflict::kNear},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ConflictBetween(c.wanted, c.existing), c.conflict)
            << c.existing << " " << c.wanted;
}

TEST(ScheduleRulesTest, ListButtonsAfterARemovalNeedASelectedEntry) {
    struct Case {
        int entries_left;
        int selected;
        bool usable;
    };
    const Case cases[] = {
        {2, 0, true},   {2, 1, true},  {1, 0, true},  {2, -1, false},
        {0, -1, false}, {0, 0, false}, {1, 1, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ScanListButtonsAfterRemoval(c.entries_left, c.selected),
                  (ScanListButtons{c.usable, c.usable, c.usable}))
            << c.entries_left << " " << c.selected;
}

TEST(ScheduleRulesTest, TypedAccountIsTrimmedAndThePasswordKeptAsTyped) {
    const auto typed = TypedRunAsAccount("  CORP\\alice ", " secret ");
    ASSERT_TRUE(typed);
    EXPECT_EQ(typed->account, "CORP\\alice ");
    EXPECT_EQ(typed->password, " secret ");
    struct Refused {
        std::string account;
        std::string password;
    };
    const Refused refused[] = {
        {"", "pw"},
        {"   ", "pw"},
        {"bob", ""},
        {"bob", "   "},
        {std::string(128, 'a'), "pw"},
        {"bob", std::string(64, 'p')},
    };
    for (const Refused& r : refused)
        EXPECT_FALSE(TypedRunAsAccount(r.account, r.password)) << r.account.size();
    EXPECT_TRUE(TypedRunAsAccount(std::string(127, 'a'), std::string(63, 'p')));
}

}  // namespace
}  // namespace olvex
