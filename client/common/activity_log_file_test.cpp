#include "client/common/activity_log_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "client/common/client_test_support.h"
#include "client/common/named_mutex.h"
#include "client/common/program_launcher.h"
#include "olvex/core/file_io.h"
#include "testing/scratch_dir.h"

namespace olvex::testing {
namespace {

std::string ReadText(const std::string& path) {
    const auto bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

std::size_t CountLines(std::string_view text) {
    return SplitActivityLogLines(text).size();
}

// A log text of about size bytes: numbered lines of about 100 bytes.
std::string LogOfSize(std::size_t size, std::string_view name) {
    std::string text;
    for (int n = 0; text.size() < size; ++n) {
        ActivityLogEntry entry;
        entry.date_time = "3/9/2024-10:11:12 AM";
        entry.time = 133544970720130000ull + n;
        entry.action = "Detected";
        entry.pest_name = std::string(name);
        entry.category = "Adware";
        entry.pest_id = n;
        entry.location = "C:\\Program Files\\Sample\\file" + std::to_string(n) + ".exe";
        entry.pvt = 3;
        text += FormatActivityLogLine(entry);
    }
    return text;
}

// Whether another thread can take the mutex now.
bool MutexIsFree(const char* name) {
    bool free = false;
    std::thread([&] {
        const win::UniqueHandle mutex = OpenOrCreateMutex(name);
        const DWORD wait = WaitForSingleObject(mutex.get(), 0);
        free = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
        if (free)
            ReleaseMutex(mutex.get());
    }).join();
    return free;
}

class ActivityLogFileTest : public ::testing::Test {
  protected:
    ActivityLogFileTest() { log_.SetPath(path_); }

    ScratchDir dir_;
    FakeClock clock_;
    ScopedClientClock use_clock_{clock_};
    std::string path_ = dir_.File("QZv5Log.txt");
    CLogFile log_;
};

TEST_F(ActivityLogFileTest, LinesCarryTheClocksTimeAndReadBack) {
    EXPECT_EQ(log_.AddEntry(7, "C:\\x, y.exe", "Pest", "Detected", "Adware", 12), LogStatus::kDone);
    EXPECT_FALSE(std::filesystem::exists(path_));  // pending until flushed
    EXPECT_EQ(log_.Flush(), LogStatus::kDone);

    const std::uint64_t time = FileTimeOf(clock_.now);
    const std::string expected = FormatDateTime(clock_.now) + "," +
                                 std::to_string(static_cast<std::int32_t>(time >> 32)) + "," +
                                 std::to_string(static_cast<std::int32_t>(time)) +
                                 ",Detected,Pest,Adware,7,\"C:\\x, y.exe\",12,\r\n";
    EXPECT_EQ(ReadText(path_), expected);

    EXPECT_EQ(log_.WriteEntry(-1, "C:\\Data", "None", "Excluded", "(File/Folder)", -1),
              LogStatus::kDone);
    CLogFile reader;
    reader.SetPath(path_);
    EXPECT_EQ(reader.Load(), LogStatus::kDone);
    EXPECT_EQ(reader.entries(), log_.entries());
    ASSERT_EQ(reader.entries().size(), 2u);
    EXPECT_EQ(reader.entries()[0].location, "C:\\x, y.exe");
    EXPECT_EQ(reader.entries()[0].time, time);
}

TEST_F(ActivityLogFileTest, MoreThanTwoHundredPendingLinesAreWrittenAtOnce) {
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(log_.AddEntry(i, "C:\\f", "Pest", "Detected", "Adware", 1), LogStatus::kDone);
    EXPECT_FALSE(std::filesystem::exists(path_));
    EXPECT_EQ(log_.pending_line_count(), 200u);
    EXPECT_EQ(log_.AddEntry(200, "C:\\f", "Pest", "Detected", "Adware", 1), LogStatus::kDone);
    EXPECT_EQ(log_.pending_line_count(), 0u);
    EXPECT_EQ(CountLines(ReadText(path_)), 201u);
    EXPECT_EQ(log_.Flush(), LogStatus::kDone);  // nothing pending: nothing written
    EXPECT_EQ(CountLines(ReadText(path_)), 201u);
    EXPECT_EQ(log_.entries().size(), 201u);
}

TEST_F(ActivityLogFileTest, WithoutAPathNothingIsTouched) {
    CLogFile log;
    EXPECT_EQ(log.AddEntry(1, "l", "p", "a", "c", 1), LogStatus::kNoPath);
    EXPECT_EQ(log.WriteEntry(1, "l", "p", "a", "c", 1), LogStatus::kNoPath);
    EXPECT_EQ(log.Flush(), LogStatus::kNoPath);
    EXPECT_EQ(log.Load(), LogStatus::kNoPath);
    EXPECT_EQ(log.Truncate(true), LogStatus::kNoPath);
    EXPECT_EQ(log.AppendAndRemoveFile(path_), LogStatus::kNoPath);
    EXPECT_TRUE(log.entries().empty());
}

TEST_F(ActivityLogFileTest, LoadMakesAMissingLogEmpty) {
    EXPECT_EQ(log_.Load(), LogStatus::kDone);
    EXPECT_TRUE(log_.entries().empty());
    EXPECT_TRUE(std::filesystem::exists(path_));
    EXPECT_EQ(std::filesystem::file_size(path_), 0u);
}

// Another program holds the log: appends wait 250, 500 ... ms and get
// through once it lets go; when it never does, the failure is reported and
// the lines stay pending (a line written at once too), to be written once
// (not twice) later.
TEST_F(ActivityLogFileTest, AppendsRetryAndReportFailureWithoutLosingLines) {
    dir_.Write("QZv5Log.txt", "");
    win::UniqueHandle holder(CreateFileA(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder);
    clock_.on_sleep = [&](std::size_t n) {
        if (n == 1)
            holder.reset();
    };
    log_.AddEntry(1, "C:\\a", "Pest", "Detected", "Adware", 1);
    EXPECT_EQ(log_.Flush(), LogStatus::kDone);
    EXPECT_EQ(clock_.sleeps, (std::vector<DWORD>{250, 500}));
    EXPECT_EQ(CountLines(ReadText(path_)), 1u);

    clock_.sleeps.clear();
    clock_.on_sleep = nullptr;
    holder.reset(CreateFileA(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder);
    log_.AddEntry(2, "C:\\b", "Pest", "Detected", "Adware", 1);
    EXPECT_EQ(log_.Flush(), LogStatus::kFailed);
    EXPECT_EQ(clock_.sleeps, (std::vector<DWORD>{250, 500, 1000, 2000, 4000, 8000}));
    EXPECT_EQ(log_.pending_line_count(), 1u);
    EXPECT_EQ(log_.WriteEntry(3, "C:\\c", "Pest", "Excluded", "Adware", 1), LogStatus::kFailed);

    holder.reset();
    EXPECT_EQ(log_.Flush(), LogStatus::kDone);
    EXPECT_EQ(log_.Flush(), LogStatus::kDone);
    const auto text = ReadText(path_);
    int milliseconds = 0;
    const auto entries = ParseActivityLog(text, milliseconds).entries;
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].location, "C:\\a");
    EXPECT_EQ(entries[1].location, "C:\\b");
    EXPECT_EQ(entries[2].location, "C:\\c");
    EXPECT_EQ(log_.pending_line_count(), 0u);
}

TEST_F(ActivityLogFileTest, ShorteningKeepsTheNewestTwoMegabytes) {
    const std::string big = LogOfSize(6'000'000, "Old");
    dir_.Write("QZv5Log.txt", big);

    EXPECT_EQ(log_.Truncate(false), LogStatus::kDone);
    EXPECT_EQ(ReadText(path_), big);

    EXPECT_EQ(log_.Truncate(true), LogStatus::kDone);
    const std::string kept = ReadText(path_);
    EXPECT_LE(kept.size(), kActivityLogTruncateTo);
    EXPECT_GT(kept.size(), kActivityLogTruncateTo - 200);
    EXPECT_EQ(big.substr(big.size() - kept.size()), kept);  // the newest lines, whole
    EXPECT_EQ(log_.entries().size(), CountLines(kept));

    // At most 5 MiB stays as it is.
    const std::string medium = LogOfSize(kActivityLogTruncateAbove - 200, "Medium");
    dir_.Write("QZv5Log.txt", medium);
    EXPECT_EQ(log_.Truncate(true), LogStatus::kDone);
    EXPECT_EQ(ReadText(path_), medium);
}

// A log whose last line has no line end (another program was ended in the
// middle of its write, or an editor left it so): the next entry still goes
// on a line of its own; a 70 MB log without any line end, shortened, keeps
// the entries written after it and only them.
TEST_F(ActivityLogFileTest, EntriesAfterALineWithoutItsEndStayWholeAndSurviveShortening) {
    const std::string torn = "12/05/2004-13:00:00,127288404,0,Detected,Torn pest,Adw";
    dir_.Write("QZv5Log.txt", torn);
    ASSERT_EQ(log_.WriteEntry(7, "C:\\after", "Pest", "Detected", "Adware", 1), LogStatus::kDone);
    log_.AddEntry(8, "C:\\pending", "Pest", "Detected", "Adware", 1);
    ASSERT_EQ(log_.Flush(), LogStatus::kDone);
    const std::string text = ReadText(path_);
    EXPECT_EQ(text.rfind(torn + "\r\n", 0), 0u) << "the torn line stays as it was";
    int milliseconds = 0;
    auto contents = ParseActivityLog(text, milliseconds);
    ASSERT_EQ(contents.entries.size(), 2u);
    EXPECT_EQ(contents.entries[0].location, "C:\\after");
    EXPECT_EQ(contents.entries[1].location, "C:\\pending");
    EXPECT_EQ(contents.skipped_lines, 1u);

    {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        const std::string block(1 << 20, 'x');
        for (int mb = 0; mb < 70; ++mb)
            out << block;
    }
    ASSERT_EQ(log_.WriteEntry(9, "C:\\newest", "Pest", "Detected", "Adware", 1), LogStatus::kDone);
    ASSERT_EQ(log_.Truncate(true), LogStatus::kDone);
    const std::string kept = ReadText(path_);
    contents = ParseActivityLog(kept, milliseconds);
    ASSERT_EQ(contents.entries.size(), 1u) << kept.substr(0, 200);
    EXPECT_EQ(contents.entries[0].location, "C:\\newest");
    EXPECT_EQ(contents.skipped_lines, 0u);
    ASSERT_EQ(log_.entries().size(), 1u);
    EXPECT_EQ(log_.entries()[0].location, "C:\\newest");
}

// Shortening happens under the log mutex and on the file as it is then: a
// line another program appended after this one read the log survives, and a
// program that holds the file open only delays the rewrite.
TEST_F(ActivityLogFileTest, ShorteningUnderTheMutexKeepsLinesAppendedMeanwhile) {
    dir_.Write("QZv5Log.txt", LogOfSize(6'000'000, "Old"));
    ASSERT_EQ(log_.Load(), LogStatus::kDone);
    EXPECT_TRUE(MutexIsFree(kActivityLogMutexName));

    win::UniqueHandle other_writer(CreateFileA(path_.c_str(), GENERIC_WRITE,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(other_writer);
    bool held_while_waiting = false;
    clock_.on_sleep = [&](std::size_t) {
        held_while_waiting = !MutexIsFree(kActivityLogMutexName);
        const std::string line = LogOfSize(1, "Meanwhile");
        EXPECT_EQ(AppendActivityLogLines(path_, line), FileError::kNone);
        other_writer.reset();
    };
    EXPECT_EQ(log_.Truncate(true), LogStatus::kDone);
    EXPECT_TRUE(held_while_waiting);
    EXPECT_EQ(clock_.sleeps.size(), 1u);
    EXPECT_TRUE(MutexIsFree(kActivityLogMutexName));

    const std::string kept = ReadText(path_);
    EXPECT_LE(kept.size(), kActivityLogTruncateTo);
    int milliseconds = 0;
    const auto entries = ParseActivityLog(kept, milliseconds).entries;
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back().pest_name, "Meanwhile");
    EXPECT_EQ(log_.entries().back().pest_name, "Meanwhile");
}

// Another program keeps the log's mutex: a load with a time limit reads the
// log once the limit ran out; a mutex whose owner ended without giving it up
// is taken at once.
TEST_F(ActivityLogFileTest, LoadWithATimeLimitReadsTheLogWhileAnotherKeepsItsMutex) {
    dir_.Write("QZv5Log.txt", LogOfSize(300, "Kept"));
    const std::size_t lines = CountLines(ReadText(path_));
    // Kept open here, so the mutex outlives its owner.
    const win::UniqueHandle kept = OpenOrCreateMutex(kActivityLogMutexName);
    const win::UniqueHandle taken(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const win::UniqueHandle finish(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread holder([&] {
        const win::UniqueHandle mutex = OpenOrCreateMutex(kActivityLogMutexName);
        WaitForSingleObject(mutex.get(), INFINITE);
        SetEvent(taken.get());
        WaitForSingleObject(finish.get(), 30000);
    });  // ends owning it: the mutex is abandoned
    ASSERT_EQ(WaitForSingleObject(taken.get(), 10000), WAIT_OBJECT_0);

    const DWORD start = GetTickCount();
    EXPECT_EQ(log_.Load(300), LogStatus::kDone);
    EXPECT_GE(GetTickCount() - start, 250u);
    EXPECT_EQ(log_.entries().size(), lines);

    SetEvent(finish.get());
    holder.join();
    log_.SetPath(path_);
    EXPECT_EQ(log_.Load(), LogStatus::kDone);
    EXPECT_EQ(log_.entries().size(), lines);
    EXPECT_TRUE(MutexIsFree(kActivityLogMutexName));
}

// The scripted remover's clean log goes into the log ahead of the pending
// lines, which follow it at the next flush.
TEST_F(ActivityLogFileTest, CleanLogIsCopiedAheadOfThePendingLines) {
    const std::string clean = dir_.Write("qzcleanlog.csv", "3/9/2024,Removed,Evil,C:\\evil.exe");
    log_.AddEntry(1, "C:\\a", "Pest", "Quarantined", "Adware", 1);
    log_.AddEntry(2, "C:\\b", "Pest", "Quarantined", "Adware", 1);

    EXPECT_EQ(log_.AppendAndRemoveFile(clean), LogStatus::kDone);
    EXPECT_FALSE(std::filesystem::exists(clean));
    EXPECT_EQ(ReadText(path_), "3/9/2024,Removed,Evil,C:\\evil.exe\r\n");
    EXPECT_EQ(log_.Flush(), LogStatus::kDone);
    const std::string text = ReadText(path_);
    const auto lines = SplitActivityLogLines(text);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "3/9/2024,Removed,Evil,C:\\evil.exe");
    EXPECT_NE(lines[1].find("C:\\a"), std::string_view::npos);
    EXPECT_NE(lines[2].find("C:\\b"), std::string_view::npos);

    // An empty clean log stays where it is; a missing one is nothing to copy.
    const std::string empty = dir_.Write("empty.csv", "");
    EXPECT_EQ(log_.AppendAndRemoveFile(empty), LogStatus::kDone);
    EXPECT_TRUE(std::filesystem::exists(empty));
    EXPECT_EQ(log_.AppendAndRemoveFile(dir_.File("missing.csv")), LogStatus::kDone);
    EXPECT_EQ(CountLines(ReadText(path_)), 3u);

    // A clean log that cannot be put into the log is kept for the next time.
    const std::string kept = dir_.Write("kept.csv", "line\r\n");
    win::UniqueHandle holder(CreateFileA(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_EQ(log_.AppendAndRemoveFile(kept), LogStatus::kFailed);
    EXPECT_TRUE(std::filesystem::exists(kept));
}

// Puts old lines in front of the log the way shortening rewrites it: the file
// is held so that appenders wait, then written whole.
void PrependOldLines(const std::string& path, const std::string& old_lines) {
    win::UniqueHandle file;
    while (!file) {
        file.reset(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            Sleep(5);
    }
    std::string text(GetFileSize(file.get(), nullptr), '\0');
    DWORD done = 0;
    ASSERT_TRUE(ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &done, nullptr));
    ASSERT_EQ(done, text.size());
    text.insert(0, old_lines);
    SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN);
    ASSERT_TRUE(
        WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &done, nullptr));
    ASSERT_TRUE(SetEndOfFile(file.get()));
}

// Two programs append at once while this one keeps growing the log with old
// lines and shortening it again: every line of both programs is there at the
// end, once, whole and in its order.
TEST(ActivityLogFileConcurrency, TwoAppendingProcessesAndShorteningLoseNoLine) {
    ScratchDir dir;
    const std::string path = dir.File("QZv5Log.txt");
    constexpr int kLines = 300;
    // The programs start appending together, right before the first shortening.
    const std::string start = "OlvexLogTestStart" + std::to_string(GetCurrentProcessId());
    const win::UniqueHandle start_event(CreateEventA(nullptr, TRUE, FALSE, start.c_str()));
    ASSERT_TRUE(start_event);
    auto first = StartProgram(
        HelperProgram(), "append \"" + path + "\" " + std::to_string(kLines) + " First " + start);
    auto second = StartProgram(
        HelperProgram(), "append \"" + path + "\" " + std::to_string(kLines) + " Second " + start);
    const EndsWithTest end_first(first);
    const EndsWithTest end_second(second);
    ASSERT_TRUE(first && second);

    CLogFile log;
    log.SetPath(path);
    const std::string old_lines = LogOfSize(kActivityLogTruncateAbove, "Old");
    auto running = [](const StartedProgram& program) {
        return WaitForSingleObject(program.process.get(), 0) == WAIT_TIMEOUT;
    };
    int shortenings_while_running = 0;
    PrependOldLines(path, old_lines);
    ASSERT_TRUE(SetEvent(start_event.get()));
    // A few rounds of growing and shortening while they append; then the
    // programs finish on their own. Endless rounds would only test how long
    // the appenders' retries last on a machine too busy to give them a turn.
    constexpr int kRounds = 4;
    for (;;) {
        ASSERT_EQ(log.Truncate(true), LogStatus::kDone);
        if (!running(*first) && !running(*second))
            break;
        if (++shortenings_while_running == kRounds) {
            for (const auto* program : {&*first, &*second})
                WaitForSingleObject(program->process.get(), 120000);
            continue;
        }
        Sleep(400);  // appenders get their turns
        PrependOldLines(path, old_lines);
    }
    for (const auto* program : {&*first, &*second}) {
        DWORD exit_code = 99;
        GetExitCodeProcess(program->process.get(), &exit_code);
        EXPECT_EQ(exit_code, 0u);
    }
    EXPECT_GT(shortenings_while_running, 0);

    const std::string text = ReadText(path);
    int milliseconds = 0;
    const auto contents = ParseActivityLog(text, milliseconds);
    EXPECT_EQ(contents.skipped_lines, 0u);
    std::map<std::string, std::vector<int>> seen;
    for (const auto& entry : contents.entries) {
        if (entry.pest_name != "Old")
            seen[entry.pest_name].push_back(entry.pest_id);
    }
    std::vector<int> all(kLines);
    for (int i = 0; i < kLines; ++i)
        all[i] = i;
    EXPECT_EQ(seen["First"], all);
    EXPECT_EQ(seen["Second"], all);
    EXPECT_EQ(seen.size(), 2u);
}

}  // namespace
}  // namespace olvex::testing
