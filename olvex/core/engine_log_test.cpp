#include "olvex/core/engine_log.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "olvex/core/file_io.h"
#include "olvex/core/location_string.h"
#include "testing/scratch_dir.h"

namespace olvex {
namespace {

using testing::ScratchDir;

std::string Content(const std::string& path) {
    const auto bytes = ReadWholeFile(path).bytes;
    return {bytes.begin(), bytes.end()};
}

// An entry that carries its id, the way the logger stamps one.
LogEntryComposer Entry(std::string pairs) {
    return [pairs](std::int64_t id) -> std::optional<std::string> {
        return pairs + "entryid \"" + std::to_string(id) + "\"";
    };
}

TEST(EngineLog, ReadsEntriesBackWithoutBlankOrUnfinishedLines) {
    const std::string content = "A \"1\"\r\n\r\n  B \"2\"  \r\nC \"3\"";
    EXPECT_EQ(ReadLogLines(content), (std::vector<std::string>{"A \"1\"", "B \"2\""}));
    // Blanks between two line ends are no line either.
    EXPECT_EQ(ReadLogLines("A \"1\"\r\n \r\n\t \r\nB \"2\"\r\n"),
              (std::vector<std::string>{"A \"1\"", "B \"2\""}));
    EXPECT_TRUE(ReadLogLines("").empty());
}

TEST(EngineLog, TheNextIdIsOneAboveTheHighestInTheLog) {
    const auto mb = MultiByteText::SingleByte();
    EXPECT_EQ(HighestLogEntryId("", mb), 0);
    EXPECT_EQ(HighestLogEntryId("entryid \"3\"\r\nx \"y\"EntryId \"9\"\r\nENTRYID \"4\"\r\n", mb),
              9);
    // Not a number, negative or absent ids count as nothing.
    EXPECT_EQ(HighestLogEntryId("entryid \"none\"\r\nentryid \"-7\"\r\nx \"1\"\r\n", mb), 0);

    ScratchDir dir;
    const auto path = dir.Write("qzv5log.log", std::string("a \"b\"entryid \"3\"\r\n"
                                                           "a \"b\"entryid \"9\"\r\n"
                                                           "a \"b\"entryid \"4\"\r\n"));
    ASSERT_EQ(AppendLogEntry(path, mb, Entry("Category \"Adware\"")), LogAppendResult::kAppended);
    EXPECT_EQ(ReadLogLines(Content(path)).back(), "Category \"Adware\"entryid \"10\"");
}

// A log that already holds the largest id: the next ids stay at the
// largest number, read whole or from a position (no id past it).
TEST(EngineLog, IdsStopAtTheLargestNumber) {
    const auto mb = MultiByteText::SingleByte();
    ScratchDir dir;
    const auto path = dir.Write("qzv5log.log", std::string("entryid \"9223372036854775806\"\r\n"));
    LogPosition position;
    for (int n = 0; n < 3; ++n)
        ASSERT_EQ(AppendLogEntry(path, mb, Entry(""), &position), LogAppendResult::kAppended);
    EXPECT_EQ(ReadLogLines(Content(path)).back(), "entryid \"9223372036854775807\"");
    EXPECT_EQ(position.highest_id, 9223372036854775806);
}

TEST(EngineLog, AppendsWholeLinesAndEndsALineLeftUnfinished) {
    const auto mb = MultiByteText::SingleByte();
    ScratchDir dir;
    const auto path = dir.File("qzv5log.log");
    ASSERT_EQ(AppendLogEntry(path, mb, Entry("")), LogAppendResult::kAppended);
    ASSERT_EQ(AppendLogEntry(path, mb, Entry("")), LogAppendResult::kAppended);
    EXPECT_EQ(Content(path), "entryid \"1\"\r\nentryid \"2\"\r\n");

    dir.Write("qzv5log.log", Content(path) + "entryid \"3\" cut sho");
    ASSERT_EQ(AppendLogEntry(path, mb, Entry("")), LogAppendResult::kAppended);
    EXPECT_EQ(ReadLogLines(Content(path)),
              (std::vector<std::string>{"entryid \"1\"", "entryid \"2\"", "entryid \"3\" cut sho",
                                        "entryid \"4\""}));

    // An entry that would not stay one line is not written.
    const auto before = Content(path);
    EXPECT_EQ(AppendLogEntry(path, mb, [](std::int64_t) { return std::string("a \"x\r\ny\""); }),
              LogAppendResult::kRefused);
    EXPECT_EQ(AppendLogEntry(path, mb, [](std::int64_t) { return std::nullopt; }),
              LogAppendResult::kRefused);
    EXPECT_EQ(Content(path), before);
    EXPECT_FALSE(FormatLogLine(""));
    EXPECT_EQ(FormatLogLine("a \"b\""), "a \"b\"\r\n");

    EXPECT_EQ(AppendLogEntry(dir.File("gone/qzv5log.log"), mb, Entry("")),
              LogAppendResult::kOpenFailed);
}

TEST(EngineLog, ClearingEmptiesTheLogAndIdsStartAgain) {
    const auto mb = MultiByteText::SingleByte();
    ScratchDir dir;
    const auto path = dir.File("qzv5log.log");
    LogPosition mine;
    ASSERT_EQ(AppendLogEntry(path, mb, Entry("a \"b\""), &mine), LogAppendResult::kAppended);
    ASSERT_EQ(AppendLogEntry(path, mb, Entry("a \"b\""), &mine), LogAppendResult::kAppended);
    ASSERT_TRUE(ClearLog(path));
    EXPECT_EQ(Content(path), "");
    ASSERT_EQ(AppendLogEntry(path, mb, Entry("")), LogAppendResult::kAppended);
    EXPECT_EQ(Content(path), "entryid \"1\"\r\n");

    // Another writer cleared and refilled the log past where this one
    // stopped: it reads the log afresh instead of trusting what it saw.
    for (int n = 0; n < 4; ++n)
        ASSERT_EQ(AppendLogEntry(path, mb, Entry("")), LogAppendResult::kAppended);
    ASSERT_GT(Content(path).size(), mine.size);
    ASSERT_EQ(AppendLogEntry(path, mb, Entry("c \"d\""), &mine), LogAppendResult::kAppended);
    EXPECT_EQ(ReadLogLines(Content(path)).back(), "c \"d\"entryid \"6\"");
    EXPECT_EQ(mine.highest_id, 6);
    EXPECT_FALSE(ClearLog(dir.File("gone/qzv5log.log")));
}

TEST(EngineLog, WritersAtTheSameTimeKeepLinesWholeAndIdsUnique) {
    // Each writer has the file open on its own, as separate processes do.
    const auto mb = MultiByteText::SingleByte();
    ScratchDir dir;
    const auto path = dir.File("qzv5log.log");
    constexpr int kWriters = 4, kEntries = 150;
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            LogPosition position;
            for (int n = 0; n < kEntries; ++n) {
                const std::string pairs = "writer \"" + std::to_string(w) + "\"seq \"" +
                                          std::to_string(n) + "\"pad \"" + std::string(200, 'x') +
                                          "\"";
                // Half the writers remember where they were, as a logger does.
                EXPECT_EQ(AppendLogEntry(path, mb, Entry(pairs), w % 2 ? &position : nullptr),
                          LogAppendResult::kAppended);
            }
        });
    }
    for (auto& writer : writers)
        writer.join();

    const auto lines = ReadLogLines(Content(path));
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kWriters * kEntries));
    std::set<std::string> ids;
    std::vector<int> next_seq(kWriters, 0);
    for (const auto& line : lines) {
        const auto pairs = ParseLocationString(line, mb, kUnlimitedPairs).pairs;
        ASSERT_EQ(pairs.size(), 4u) << line;
        const int writer = std::stoi(pairs[0].value);
        // Each writer's entries arrive whole and in its own order.
        EXPECT_EQ(std::stoi(pairs[1].value), next_seq.at(writer)++) << line;
        EXPECT_EQ(pairs[2].value, std::string(200, 'x'));
        ids.insert(pairs[3].value);
    }
    EXPECT_EQ(ids.size(), lines.size());
    EXPECT_EQ(HighestLogEntryId(Content(path), mb), kWriters * kEntries);
}

TEST(EngineLog, EngineEntriesAreStampedLikeLoggerEntries) {
    const auto mb = MultiByteText::SingleByte();
    const LogStamps stamps{"12/31/2005", "11:59:00 PM", "Owner"};
    EXPECT_EQ(StampLogEntryText("Event \"Removal failed\" Error \"Error deleting file C:\\X\"", 9,
                                stamps, mb),
              "Event \"Removal failed\"Error \"Error deleting file C:\\X\"entryid \"9\""
              "date \"12/31/2005\"time \"11:59:00 pm\"username \"owner\"");
    // A stamp the system could not give is left out.
    EXPECT_EQ(StampLogEntryText("A \"b\"", 1, LogStamps{}, mb), "A \"b\"entryid \"1\"");
    // Values of our own made to read back whole.
    EXPECT_EQ(LogPairValue("File \"C:\\a b\"\r\n"), "File 'C:\\a b'  ");
    EXPECT_EQ(LogPairValue(""), "-");
    const auto text =
        StampLogEntryText("Location \"" + LogPairValue("Folder \"C:\\P\"") + "\"", 2, stamps, mb);
    ASSERT_TRUE(text);
    EXPECT_EQ(ReadLogLines(*text + "\r\n").size(), 1u);
}

}  // namespace
}  // namespace olvex
