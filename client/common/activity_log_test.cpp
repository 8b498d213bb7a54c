#include "client/common/activity_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>
#endif

#include "testing/scratch_dir.h"

namespace olvex {
namespace {

using olvex::testing::ScratchDir;

// 12 May 2004 13:00:00 local time.
constexpr std::uint64_t kMay12 = 127288404000000000ull;
constexpr std::uint64_t kMillisecond = 10'000;

ActivityLogEntry Detection() {
    return {.date_time = "12/05/2004-13:00:00",
            .time = kMay12,
            .action = "Detected",
            .pest_name = "Sample Adware",
            .category = "Adware",
            .pest_id = 4711,
            .location = "C:\\Program Files\\Sample\\sample.exe",
            .pvt = 3};
}

TEST(ActivityLog, WritesNineFieldsEachWithItsComma) {
    EXPECT_EQ(FormatActivityLogLine(Detection()),
              "12/05/2004-13:00:00,29636641,141707264,Detected,Sample Adware,Adware,4711,"
              "C:\\Program Files\\Sample\\sample.exe,3,\r\n");
    // Time halves are signed, as older versions wrote them.
    auto late = Detection();
    late.time = (std::uint64_t{29636641} << 32) | 0x90000000u;
    late.pest_id = -1;
    late.pvt = -1;
    EXPECT_EQ(FormatActivityLogLine(late),
              "12/05/2004-13:00:00,29636641,-1879048192,Detected,Sample Adware,Adware,-1,"
              "C:\\Program Files\\Sample\\sample.exe,-1,\r\n");
}

TEST(ActivityLog, QuotesOnlyFieldsThatHoldACommaAndReadsBothForms) {
    struct Case {
        std::string location;
        std::string written;  // the location field as it reaches the file
    } const cases[] = {
        // A location's own double quotes leave it bare, as older lines are.
        {"File \"C:\\a b\\x.exe\"", "File \"C:\\a b\\x.exe\""},
        {"Key \"hkey_current_user \\Software\\X\" value \"v\"",
         "Key \"hkey_current_user \\Software\\X\" value \"v\""},
        {"C:\\a b\\x.exe", "C:\\a b\\x.exe"},
        {"a\"b\"", "a\"b\""},
        // A comma is quoted, the quotes inside doubled.
        {"C:\\a,b\\x.exe", "\"C:\\a,b\\x.exe\""},
        {"File \"C:\\a,b\\x.exe\"", "\"File \"\"C:\\a,b\\x.exe\"\"\""},
        {",,,,,,,,", "\",,,,,,,,\""},
        // A leading quote would read as the start of a quoted field.
        {"\"", "\"\"\"\""},
        {"\"C:\\x.exe\"", "\"\"\"C:\\x.exe\"\"\""},
        {"\"quoted\",x", "\"\"\"quoted\"\",x\""},
        {"", ""},
    };
    for (const auto& c : cases) {
        auto entry = Detection();
        entry.location = c.location;
        entry.pest_name = "Pest, \"the\" bad";
        entry.category = "\"Ad";
        entry.date_time = "2004,05,12 13:00";
        const auto line = FormatActivityLogLine(entry);
        EXPECT_EQ(line,
                  "\"2004,05,12 13:00\",29636641,141707264,Detected,\"Pest, \"\"the\"\" bad\","
                  "\"\"\"Ad\",4711," +
                      c.written + ",3,\r\n");
        int ms = 0;
        const auto read = ParseActivityLogLine(line.substr(0, line.size() - 2), ms);
        ASSERT_TRUE(read) << line;
        EXPECT_EQ(*read, entry) << line;
    }
    // Line breaks inside a field become blanks: one entry, one line.
    auto broken = Detection();
    broken.location = "a\r\nb\nc";
    const auto line = FormatActivityLogLine(broken);
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    int ms = 0;
    EXPECT_EQ(ParseActivityLogLine(line.substr(0, line.size() - 2), ms)->location, "a  b c");
}

TEST(ActivityLog, ReadsLinesOfEveryLayout) {
    struct Case {
        const char* what;
        std::string line;
        std::optional<ActivityLogEntry> entry;
    } const cases[] = {
        {"current layout",
         "12/05/2004-13:00:00,29636641,141707264,Detected,Sample Adware,Adware,4711,"
         "C:\\Program Files\\Sample\\sample.exe,3,",
         Detection()},
        {"current layout, no PVT",
         "12/05/2004-13:00:00,29636641,141707264,Detected,Sample Adware,Adware,4711,"
         "C:\\Program Files\\Sample\\sample.exe,",
         [] {
             auto e = Detection();
             e.pvt = -1;
             return e;
         }()},
        {"PVT without its comma", "d,29636641,141707264,Quarantined,P,C,1,L,8",
         ActivityLogEntry{.date_time = "d",
                          .time = kMay12,
                          .action = "Quarantined",
                          .pest_name = "P",
                          .category = "C",
                          .pest_id = 1,
                          .location = "L",
                          .pvt = 8}},
        {"older layout: no time fields, no PVT; year/day/month",
         "2004/12/05-13:00:00,Detected,Sample Adware,Adware,4711,C:\\x.exe,",
         ActivityLogEntry{.date_time = "2004/12/05-13:00:00",
                          .time = kMay12,
                          .action = "Detected",
                          .pest_name = "Sample Adware",
                          .category = "Adware",
                          .pest_id = 4711,
                          .location = "C:\\x.exe",
                          .pvt = -1}},
        {"older layout with PVT, and a date that is no date",
         "12/31/2004-13:00:00,Excluded,None,(File/Folder),-1,C:\\y,5,",
         ActivityLogEntry{.date_time = "12/31/2004-13:00:00",
                          .time = 0,
                          .action = "Excluded",
                          .pest_name = "None",
                          .category = "(File/Folder)",
                          .pest_id = -1,
                          .location = "C:\\y",
                          .pvt = 5}},
        {"quotes inside bare fields of older lines are text",
         "d,1,2,Detected,P,C,7,File \"C:\\a b\\x.exe\" value \"v\",2,",
         ActivityLogEntry{.date_time = "d",
                          .time = (std::uint64_t{1} << 32) | 2,
                          .action = "Detected",
                          .pest_name = "P",
                          .category = "C",
                          .pest_id = 7,
                          .location = "File \"C:\\a b\\x.exe\" value \"v\"",
                          .pvt = 2}},
        {"a bare field that merely starts with a quote",
         "d,1,2,Detected,P,C,7,\"C:\\a b\\x.exe\" /s,2,",
         ActivityLogEntry{.date_time = "d",
                          .time = (std::uint64_t{1} << 32) | 2,
                          .action = "Detected",
                          .pest_name = "P",
                          .category = "C",
                          .pest_id = 7,
                          .location = "\"C:\\a b\\x.exe\" /s",
                          .pvt = 2}},
        {"cut inside the location", "d,1,2,Detected,P,C,7,C:\\Progr", std::nullopt},
        // A quote that never closes is text, as in older lines; the line is
        // read to its end and no further.
        {"cut inside a quoted location", "d,1,2,Detected,P,C,7,\"C:\\a,b",
         ActivityLogEntry{.date_time = "d",
                          .time = (std::uint64_t{1} << 32) | 2,
                          .action = "Detected",
                          .pest_name = "P",
                          .category = "C",
                          .pest_id = 7,
                          .location = "\"C:\\a",
                          .pvt = 0}},
        {"a quote that fails to close makes the fields it spans bare",
         "d,1,2,Detected,\"P,\"\",C,L,1,",
         ActivityLogEntry{.date_time = "d",
                          .time = (std::uint64_t{1} << 32) | 2,
                          .action = "Detected",
                          .pest_name = "\"P",
                          .category = "\"\"",
                          .pest_id = 0,
                          .location = "L",
                          .pvt = 1}},
        {"cut after the action", "d,1,2,Detected,", std::nullopt},
        {"older layout cut short", "2004/12/05-13:00:00,Detected,P,C,", std::nullopt},
        {"one field", "just some text", std::nullopt},
        {"commas only: an older line of empty fields", ",,,,,,,,,",
         [] {
             ActivityLogEntry e;
             e.pest_id = 0;
             e.pvt = 0;
             return e;
         }()},
    };
    for (const auto& c : cases) {
        int ms = 0;
        EXPECT_EQ(ParseActivityLogLine(c.line, ms), c.entry) << c.what;
    }
}

// A long damaged tail of quotes and commas after the entry's fields is read
// to its end and no further, and leaves the entry as it is.
TEST(ActivityLog, LongTailsOfBrokenQuotesLeaveTheEntry) {
    for (const std::string piece : {"\"a\"\",", "a,\"\"", "\"\"\","}) {
        std::string line = "d,1,2,Detected,P,C,7,L,1,\"";
        for (int i = 0; i < 100'000; ++i)
            line += piece;
        int ms = 0;
        const auto entry = ParseActivityLogLine(line, ms);
        ASSERT_TRUE(entry) << piece;
        EXPECT_EQ(entry->location, "L") << piece;
        EXPECT_EQ(entry->pvt, 1) << piece;
    }
}

TEST(ActivityLog, OlderLinesGetDistinctMillisecondsInTurn) {
    const std::string line = "2004/12/05-13:00:00,Detected,P,C,1,L,";
    int ms = 0;
    EXPECT_EQ(ParseActivityLogLine(line, ms)->time, kMay12);
    EXPECT_EQ(ParseActivityLogLine(line, ms)->time, kMay12 + kMillisecond);
    EXPECT_EQ(ms, 2);
    ms = 999;
    EXPECT_EQ(ParseActivityLogLine(line, ms)->time, kMay12 + 999 * kMillisecond);
    EXPECT_EQ(ParseActivityLogLine(line, ms)->time, kMay12);
    // Lines of the current layout do not use the counter.
    ParseActivityLogLine(FormatActivityLogLine(Detection()), ms);
    EXPECT_EQ(ms, 1);
}

TEST(ActivityLog, ParsesAWholeTextAndCountsLinesThatAreNoEntry) {
    const std::string text = FormatActivityLogLine(Detection()) + "\r\n" + "garbage\n" +
                             "2004/12/05-13:00:00,Detected,P,C,1,L,\n" +
                             FormatActivityLogLine(Detection()) + "d,1,2,Detected,P,C,7,cut";
    int ms = 0;
    const auto contents = ParseActivityLog(text, ms);
    EXPECT_EQ(contents.entries.size(), 3u);
    EXPECT_EQ(contents.skipped_lines, 2u);
    EXPECT_EQ(contents.entries[1].action, "Detected");
    EXPECT_EQ(contents.entries[2], Detection());
}

std::vector<std::string> LinesOfSizes(std::size_t count, std::size_t size) {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < count; ++i) {
        auto line = std::to_string(i) + ",";
        line.resize(size, 'x');
        lines.push_back(line);
    }
    return lines;
}

std::size_t Drop(const std::vector<std::string>& lines, bool truncate) {
    std::vector<std::string_view> views(lines.begin(), lines.end());
    return ActivityLogLinesToDrop(views, truncate);
}

TEST(ActivityLog, ShorteningDropsTheOldestLinesDownToTwoMegabytes) {
    // 6,000,000 bytes of 1000-byte lines (998 characters and CR LF).
    const auto lines = LinesOfSizes(6000, 998);
    const std::size_t drop = Drop(lines, true);
    const std::uint64_t kept = (lines.size() - drop) * 1000;
    EXPECT_LE(kept, kActivityLogTruncateTo);
    EXPECT_GT(kept + 1000, kActivityLogTruncateTo) << "dropped more than needed";
    EXPECT_EQ(Drop(lines, false), 0u);

    // The limits themselves: exactly 5 MiB stays, one byte more is cut.
    auto at_limit = LinesOfSizes(5, 0x100000 - 2);
    EXPECT_EQ(Drop(at_limit, true), 0u);
    at_limit.front() += 'x';
    EXPECT_EQ(Drop(at_limit, true), 3u);
    at_limit.back() += 'x';
    EXPECT_EQ(Drop(at_limit, true), 4u);
    EXPECT_EQ(Drop({}, true), 0u);
}

TEST(ActivityLog, RewriteKeepsTheNewestLinesWhole) {
    std::string text;
    for (const auto& line : LinesOfSizes(6000, 998))
        text += line + "\n";  // line feeds alone: rewritten with CR LF
    const auto rewritten = TruncateActivityLog(text, true);
    EXPECT_LE(rewritten.size(), kActivityLogTruncateTo);
    EXPECT_EQ(rewritten.substr(0, 5), std::to_string(6000 - rewritten.size() / 1000) + ",");
    EXPECT_EQ(rewritten.substr(rewritten.size() - 2), "\r\n");
    EXPECT_EQ(rewritten.find("5999,"), rewritten.size() - 1000);

    const std::string small = "a,\r\nforeign line\r\n\r\nb,";
    EXPECT_EQ(TruncateActivityLog(small, true), "a,\r\nforeign line\r\nb,\r\n");
    EXPECT_EQ(TruncateActivityLog(small, false), "a,\r\nforeign line\r\nb,\r\n");
}

TEST(ActivityLog, AppendsWholeLinesAndReadsThemBack) {
    ScratchDir dir;
    const auto path = dir.File("QZv5Log.txt");
    int ms = 0;
    auto empty = ReadActivityLog(path, ms);
    EXPECT_TRUE(empty) << "a missing log is an empty one";
    EXPECT_TRUE(empty.contents.entries.empty());

    auto second = Detection();
    second.action = "Quarantined";
    second.location = "Key \"HKLM\\Software\\Sample, Inc\"";
    const std::vector<ActivityLogEntry> batch = {Detection(), second};
    ASSERT_EQ(AppendActivityLogLines(path, FormatActivityLogLines(batch)), FileError::kNone);
    ASSERT_EQ(AppendActivityLogLines(path, FormatActivityLogLine(second)), FileError::kNone);

    const auto read = ReadActivityLog(path, ms);
    ASSERT_TRUE(read);
    EXPECT_EQ(read.contents.entries, (std::vector<ActivityLogEntry>{Detection(), second, second}));
    EXPECT_EQ(read.contents.skipped_lines, 0u);
    EXPECT_EQ(AppendActivityLogLines(dir.File("no/folder/QZv5Log.txt"), "x,\r\n"),
              FileError::kWriteFailed);
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Whatever the log ends with, an append begins a line of its own: the last
// line keeps its text, the new entry reads back whole.
TEST(ActivityLog, EveryAppendBeginsALineOfItsOwn) {
    const std::string line = FormatActivityLogLine(Detection());
    struct Case {
        std::string before;
        std::string after;
    };
    const Case cases[] = {
        {"", line},
        {"a,\r\n", "a,\r\n" + line},
        {"a,\n", "a,\n" + line},
        {"torn,half a li", "torn,half a li\r\n" + line},
        {"torn,\r", "torn,\r\r\n" + line},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before);
        ScratchDir dir;
        const auto path = dir.File("QZv5Log.txt");
        if (!c.before.empty())
            std::ofstream(path, std::ios::binary) << c.before;
        ASSERT_EQ(AppendActivityLogLines(path, line), FileError::kNone);
        EXPECT_EQ(ReadAll(path), c.after);
        int ms = 0;
        const auto read = ReadActivityLog(path, ms);
        ASSERT_TRUE(read);
        ASSERT_FALSE(read.contents.entries.empty());
        EXPECT_EQ(read.contents.entries.back(), Detection());
    }
    // Nothing to append makes the file and writes nothing, even after a torn line.
    ScratchDir dir;
    const auto path = dir.File("QZv5Log.txt");
    ASSERT_EQ(AppendActivityLogLines(path, {}), FileError::kNone);
    EXPECT_TRUE(std::filesystem::exists(path));
    std::ofstream(path, std::ios::binary) << "torn";
    ASSERT_EQ(AppendActivityLogLines(path, {}), FileError::kNone);
    EXPECT_EQ(ReadAll(path), "torn");
}

#ifndef _WIN32
// A write the file system cuts short (here: the process's file size limit,
// which lets part of the write through and then fails it, as a disk that
// fills up midway does) is undone: the log keeps its length, no torn line
// stays behind, and the next append once there is room again is whole.
TEST(ActivityLog, AWriteCutShortIsUndoneAndReported) {
    ScratchDir dir;
    const auto path = dir.File("QZv5Log.txt");
    const std::string line = FormatActivityLogLine(Detection());
    ASSERT_EQ(AppendActivityLogLines(path, line), FileError::kNone);
    const std::string before = ReadAll(path);

    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old_limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    rlimit limit = old_limit;
    limit.rlim_cur = before.size() + line.size() / 2;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const FileError cut = AppendActivityLogLines(path, line + line);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old_limit), 0);
    std::signal(SIGXFSZ, old_handler);

    EXPECT_EQ(cut, FileError::kNoSpace);
    EXPECT_EQ(ReadAll(path), before);
    ASSERT_EQ(AppendActivityLogLines(path, line), FileError::kNone);
    EXPECT_EQ(ReadAll(path), before + line);
}
#endif

}  // namespace
}  // namespace olvex
