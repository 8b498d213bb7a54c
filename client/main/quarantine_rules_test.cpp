#include "client/main/quarantine_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace olvex {
namespace {

TEST(QuarantineSessionName, FromTheContainerPath) {
    EXPECT_EQ(SessionNameFromPath("C:\\Program Files\\Q\\20260314093000.zip"), "20260314093000");
    EXPECT_EQ(SessionNameFromPath("20260314093000.zip"), "20260314093000");
    EXPECT_EQ(SessionNameFromPath("C:\\a.b\\session"), "session");
    EXPECT_EQ(SessionNameFromPath("C:\\q\\x.y.zip"), "x.y");
}

TEST(QuarantineSessionName, OnlyFourteenDigitsOfAValidTimeAreATime) {
    struct Case {
        const char* name;
        std::optional<SessionTime> time;
    };
    const std::vector<Case> cases = {
        {"20261231233000", SessionTime{2026, 12, 31, 23, 30, 0}},
        {"20240229000000", SessionTime{2024, 2, 29, 0, 0, 0}},
        {"16010101000000", SessionTime{1601, 1, 1, 0, 0, 0}},
        {"2026123123300", std::nullopt},    // 13 digits
        {"202612312330001", std::nullopt},  // 15
        {"2026123123300a", std::nullopt},   // a letter
        {"backup-session", std::nullopt},
        {"20261331233000", std::nullopt},  // month 13
        {"20260001233000", std::nullopt},  // month 0
        {"20230229000000", std::nullopt},  // no leap year
        {"21000229000000", std::nullopt},
        {"20260431000000", std::nullopt},
        {"20260101240000", std::nullopt},
        {"20260101006000", std::nullopt},
        {"20260101000060", std::nullopt},
        {"15991231000000", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseSessionTime(c.name), c.time) << c.name;
}

TEST(QuarantineSessionName, NodeTexts) {
    EXPECT_EQ(SessionNodeText("3/14/2026", "9:30:00 AM", "20260314093000"),
              "3/14/2026 9:30:00 AM  <<20260314093000>>");
    EXPECT_EQ(SessionNodeText(kUnknownSessionDate, "", "backup"), "?  <<backup>>");
}

TEST(QuarantineListing, AnEmptyAnswerWithAnErrorIsABrokenSessionNotTheEnd) {
    struct Case {
        bool first;
        bool has_session;
        const char* error;
        SessionAnswer answer;
    };
    const std::vector<Case> cases = {
        {true, true, "", SessionAnswer::kSession},
        {false, true, "Success.", SessionAnswer::kSession},
        {true, false, "", SessionAnswer::kEnd},
        {false, false, "", SessionAnswer::kEnd},
        {false, false, "Error initializing QuarantineSession.  | C:\\q\\1.zip",
         SessionAnswer::kBroken},
        {false, false, "anything", SessionAnswer::kBroken},
        {true, false, "Error initializing QuarantineSession.  | C:\\q\\1.zip",
         SessionAnswer::kBroken},
        {true, false, "Error creating QuarantineSession.", SessionAnswer::kBroken},
        {true, false, "Error opening quarantine session database.", SessionAnswer::kFailed},
        {true, false, "Not initialized.", SessionAnswer::kFailed},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadSessionAnswer(c.first, c.has_session, c.error), c.answer)
            << c.first << " " << c.has_session << " " << c.error;
    }
}

TEST(QuarantineWalk, RestoreTakesNewerSessionsNewestFirstDeleteOlderOnesOldestFirst) {
    // The tree from the top: newest first.
    const auto rows = [](std::vector<bool> checks) {
        std::vector<SessionRow> made;
        unsigned long number = static_cast<unsigned long>(checks.size());
        for (const bool checked : checks)
            made.push_back({number--, checked});
        return made;
    };
    struct Case {
        const char* name;
        SessionAction action;
        std::vector<bool> checks;  // sessions 3, 2, 1
        std::vector<std::size_t> widened;
        std::vector<std::size_t> order;
    };
    const std::vector<Case> cases = {
        {"restore of 2 takes 3, restores 3 then 2",
         SessionAction::kRestore,
         {false, true, false},
         {0},
         {0, 1}},
        {"delete of 2 takes 1, deletes 1 then 2",
         SessionAction::kDelete,
         {false, true, false},
         {2},
         {2, 1}},
        {"restore of 1 takes all",
         SessionAction::kRestore,
         {false, false, true},
         {0, 1},
         {0, 1, 2}},
        {"delete of 3 takes all", SessionAction::kDelete, {true, false, false}, {1, 2}, {2, 1, 0}},
        {"restore of the newest alone", SessionAction::kRestore, {true, false, false}, {}, {0}},
        {"delete of the oldest alone", SessionAction::kDelete, {false, false, true}, {}, {2}},
        {"restore of 3 and 1 fills in 2",
         SessionAction::kRestore,
         {true, false, true},
         {1},
         {0, 1, 2}},
        {"nothing checked: nothing", SessionAction::kDelete, {false, false, false}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const SessionWalk walk = PlanSessionWalk(c.action, rows(c.checks));
        EXPECT_EQ(walk.widened, c.widened);
        EXPECT_EQ(walk.order, c.order);
    }
    // Numbers, not places, decide: a tree out of order still walks by age.
    const std::vector<SessionRow> shuffled = {{1, false}, {3, false}, {2, true}};
    EXPECT_EQ(PlanSessionWalk(SessionAction::kRestore, shuffled).order,
              (std::vector<std::size_t>{1, 2}));
    EXPECT_EQ(PlanSessionWalk(SessionAction::kDelete, shuffled).order,
              (std::vector<std::size_t>{0, 2}));
}

TEST(QuarantineChecks, TheLastUncheckDisablesTheButtonsAndClearsSelectAll) {
    EXPECT_TRUE(ButtonsAfterCheck(true, false).act_enabled);
    EXPECT_FALSE(ButtonsAfterCheck(true, false).clear_select_all);
    EXPECT_TRUE(ButtonsAfterCheck(false, true).act_enabled);
    EXPECT_FALSE(ButtonsAfterCheck(false, true).clear_select_all);
    EXPECT_FALSE(ButtonsAfterCheck(false, false).act_enabled);
    EXPECT_TRUE(ButtonsAfterCheck(false, false).clear_select_all);
}

TEST(QuarantineReport, SessionsWithTheirPestsNumberedAfreshAndTheEndLine) {
    const auto digits = [](unsigned long k) { return std::to_string(k); };
    const std::vector<ReportSession> sessions = {
        {"3/14/2026 9:31:00 AM  <<20260314093100>>",
         2,
         {{"Alpha Bar", {"C:\\a.exe", "hkey_current_user \\Software\\A"}}, {"Beta", {"C:\\b"}}}},
        {"3/14/2026 9:30:00 AM  <<20260314093000>>", 1, {{"Gamma", {"C:\\g.exe"}}}},
        {"?  <<odd>>", 7, {}},
    };
    EXPECT_EQ(QuarantineReportText("3/14/2026-9:40:00 AM", sessions, digits),
              "Kelvan Gorsewatch Quarantined Pests Report\n"
              "This report was generated on: 3/14/2026-9:40:00 AM\n"
              "\n"
              "=== Begin Session 3/14/2026 9:31:00 AM  <<20260314093100>> (ID 2) ===\n"
              "(1) Alpha Bar\n"
              "     C:\\a.exe\n"
              "     hkey_current_user \\Software\\A\n"
              "\n"
              "(2) Beta\n"
              "     C:\\b\n"
              "\n"
              "=== End Session 3/14/2026 9:31:00 AM  <<20260314093100>> (ID 2) ===\n"
              "=== Begin Session 3/14/2026 9:30:00 AM  <<20260314093000>> (ID 1) ===\n"
              "(1) Gamma\n"
              "     C:\\g.exe\n"
              "\n"
              "=== End Session 3/14/2026 9:30:00 AM  <<20260314093000>> (ID 1) ===\n"
              "=== Begin Session ?  <<odd>> (ID 7) ===\n"
              "=== End Session ?  <<odd>> (ID 7) ===\n"
              "***End Report***\n"
              "\n");
    // No session at all still ends the report.
    EXPECT_EQ(QuarantineReportText("now", {}, digits),
              "Kelvan Gorsewatch Quarantined Pests Report\n"
              "This report was generated on: now\n\n"
              "***End Report***\n\n");
    // The pest numbers come from the caller's number format.
    const std::vector<ReportSession> one = {{"s", 1, {{"P", {}}}}};
    EXPECT_NE(QuarantineReportText("now", one, [](unsigned long) { return std::string("1,0"); })
                  .find("(1,0) P\n"),
              std::string::npos);
}

TEST(QuarantineReport, ADoubledTxtEndingBecomesOne) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"C:\\r.txt", "C:\\r.txt"},     {"C:\\r.TXT.txt", "C:\\r.txt"},
        {"C:\\r.txt.TXT", "C:\\r.txt"}, {"C:\\r.txt.txt.txt", "C:\\r.txt.txt"},
        {"C:\\r.text", "C:\\r.text"},   {".txt", ".txt"},
        {"C:\\report", "C:\\report"},   {"C:\\a.txtx.txt", "C:\\a.txtx.txt"},
    };
    for (const auto& [chosen, written] : cases)
        EXPECT_EQ(WithSingleTxtExtension(chosen), written) << chosen;
}

}  // namespace
}  // namespace olvex
