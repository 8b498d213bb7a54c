#include "olvex/core/file_io.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "testing/scratch_dir.h"

namespace olvex {
namespace {

using olvex::testing::ScratchDir;

TEST(FileIo, ReadsWholeFileAndReportsMissingOne) {
    ScratchDir dir;
    const auto path = dir.Write("a.bin", std::vector<unsigned char>{1, 2, 3, 0, 255});
    const auto read = ReadWholeFile(path);
    ASSERT_TRUE(read);
    EXPECT_EQ(read.bytes, (std::vector<std::uint8_t>{1, 2, 3, 0, 255}));

    EXPECT_EQ(ReadWholeFile(dir.File("missing.bin")).error, FileError::kNotFound);
    EXPECT_EQ(ReadWholeFile(path, 4).error, FileError::kTooLarge);
    // A folder is not a file.
    EXPECT_EQ(ReadWholeFile(dir.path().string()).error, FileError::kNotFound);
}

TEST(FileIo, AtomicWriteReplacesAndLeavesNoTemporary) {
    ScratchDir dir;
    const auto path = dir.File("x.dat");
    const std::vector<std::uint8_t> first{'o', 'l', 'd'}, second{'n', 'e', 'w', '!'};
    ASSERT_EQ(WriteWholeFile(path, first, true), FileError::kNone);
    ASSERT_EQ(WriteWholeFile(path, second, true), FileError::kNone);
    EXPECT_EQ(ReadWholeFile(path).bytes, second);
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
    EXPECT_EQ(WriteWholeFile(dir.File("no/such/folder/x"), first), FileError::kWriteFailed);
    EXPECT_EQ(WriteWholeFile(dir.File("no/such/folder/x"), first, true), FileError::kWriteFailed);
}

TEST(FileIo, AtomicWritersAtOnceEachLeaveAWholeVersion) {
    ScratchDir dir;
    const auto path = dir.File("shared.dat");
    std::vector<std::thread> writers;
    for (int w = 0; w < 4; ++w) {
        writers.emplace_back([&, w] {
            const std::vector<std::uint8_t> content(4096, static_cast<std::uint8_t>('a' + w));
            for (int i = 0; i < 20; ++i)
                WriteWholeFile(path, content, true);
        });
    }
    for (auto& writer : writers)
        writer.join();
    // Whoever won, the file is one writer's version, whole.
    const auto read = ReadWholeFile(path);
    ASSERT_EQ(read.bytes.size(), 4096u);
    EXPECT_EQ(std::count(read.bytes.begin(), read.bytes.end(), read.bytes[0]), 4096);
}

TEST(FileIo, ReadFullStopsAtEndOfFile) {
    ScratchDir dir;
    const auto path = dir.Write("b.bin", std::string(3000, 'z'));
    InputFile file;
    ASSERT_TRUE(file.Open(path));
    EXPECT_EQ(file.Size().value_or(0), 3000u);
    std::vector<std::uint8_t> buffer(4096);
    EXPECT_EQ(file.ReadFull(buffer).value_or(0), 3000u);
    ASSERT_TRUE(file.Seek(2990));
    EXPECT_EQ(file.ReadFull(buffer).value_or(0), 10u);
}

TEST(FileIo, ReadAtReadsFromTheOffsetAndStopsAtTheEnd) {
    ScratchDir dir;
    std::vector<unsigned char> content(5000);
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<unsigned char>(i * 13);
    InputFile file;
    ASSERT_TRUE(file.Open(dir.Write("c.bin", content)));
    std::vector<std::uint8_t> buffer(100);
    ASSERT_EQ(file.ReadAt(4000, buffer).value_or(0), 100u);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), content.begin() + 4000));
    EXPECT_EQ(file.ReadAt(4950, buffer).value_or(0), 50u);
    EXPECT_EQ(file.ReadAt(9000, buffer).value_or(1), 0u);
    EXPECT_FALSE(InputFile().ReadAt(0, buffer).has_value());
}

TEST(FileIo, OutputFileCreateNewNeverTouchesAnExistingFile) {
    ScratchDir dir;
    const auto path = dir.Write("kept.txt", std::string("original"));
    OutputFile out;
    EXPECT_EQ(out.Create(path, CreateMode::kNew), FileError::kExists);
    EXPECT_FALSE(out.IsOpen());
    EXPECT_EQ(ReadWholeFile(path).bytes,
              (std::vector<std::uint8_t>{'o', 'r', 'i', 'g', 'i', 'n', 'a', 'l'}));
    // A folder in the way is no file to write either.
    EXPECT_NE(out.Create(dir.path().string(), CreateMode::kNew), FileError::kNone);
    EXPECT_EQ(out.Create(dir.File("no/such/folder/x"), CreateMode::kNew), FileError::kWriteFailed);
    EXPECT_EQ(out.Write(std::vector<std::uint8_t>{1}), FileError::kWriteFailed);
}

TEST(FileIo, OutputFileWritesSeeksBackAndReplaces) {
    ScratchDir dir;
    const auto path = dir.File("out.bin");
    {
        OutputFile out;
        ASSERT_EQ(out.Create(path, CreateMode::kNew), FileError::kNone);
        ASSERT_EQ(out.Write(std::vector<std::uint8_t>{1, 2, 3, 4, 5}), FileError::kNone);
        // Patching a header written earlier, then going on at the end.
        ASSERT_EQ(out.Seek(1), FileError::kNone);
        ASSERT_EQ(out.Write(std::vector<std::uint8_t>{9, 9}), FileError::kNone);
        ASSERT_EQ(out.Seek(5), FileError::kNone);
        ASSERT_EQ(out.Write(std::vector<std::uint8_t>{6}), FileError::kNone);
        ASSERT_EQ(out.Flush(), FileError::kNone);
        ASSERT_EQ(out.Close(), FileError::kNone);
        EXPECT_FALSE(out.IsOpen());
    }
    EXPECT_EQ(ReadWholeFile(path).bytes, (std::vector<std::uint8_t>{1, 9, 9, 4, 5, 6}));
    OutputFile again;
    ASSERT_EQ(again.Create(path, CreateMode::kReplace), FileError::kNone);
    ASSERT_EQ(again.Write(std::vector<std::uint8_t>{7}), FileError::kNone);
    ASSERT_EQ(again.Close(), FileError::kNone);
    EXPECT_EQ(ReadWholeFile(path).bytes, (std::vector<std::uint8_t>{7}));
}

TEST(FileIo, MoveFileReplacingSwapsInTheNewFile) {
    ScratchDir dir;
    const auto target = dir.Write("t.dat", std::string("old"));
    const auto source = dir.Write("t.dat.tmp", std::string("new"));
    ASSERT_TRUE(MoveFileReplacing(source, target));
    EXPECT_EQ(ReadWholeFile(target).bytes, (std::vector<std::uint8_t>{'n', 'e', 'w'}));
    EXPECT_FALSE(FileExists(source));
    // A missing source changes nothing.
    EXPECT_FALSE(MoveFileReplacing(source, target));
    EXPECT_EQ(ReadWholeFile(target).bytes, (std::vector<std::uint8_t>{'n', 'e', 'w'}));
    // To a fresh name too.
    const auto other = dir.Write("u.tmp", std::string("u"));
    ASSERT_TRUE(MoveFileReplacing(other, dir.File("u.dat")));
    EXPECT_TRUE(FileExists(dir.File("u.dat")));
}

TEST(FileIo, AppendCreatesThenExtendsAndNeverTruncates) {
    ScratchDir dir;
    const auto path = dir.File("log.txt");
    const std::string first = "one\r\n", second = "two\r\n";
    ASSERT_EQ(AppendToFile(path, std::span(reinterpret_cast<const std::uint8_t*>(first.data()),
                                           first.size())),
              FileError::kNone);
    ASSERT_EQ(AppendToFile(path, std::span(reinterpret_cast<const std::uint8_t*>(second.data()),
                                           second.size())),
              FileError::kNone);
    const auto read = ReadWholeFile(path);
    EXPECT_EQ(std::string(read.bytes.begin(), read.bytes.end()), first + second);
    EXPECT_EQ(AppendToFile(dir.File("no/such/folder/log.txt"), {}), FileError::kWriteFailed);
}

// Appenders that share a file, each opening it for every line as the client
// programs do: no line may be lost, cut or mixed into another.
TEST(FileIo, ConcurrentAppendsKeepEveryLineWhole) {
    ScratchDir dir;
    const auto path = dir.File("shared.txt");
    constexpr int kWriters = 4, kLines = 150;
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&path, w] {
            for (int i = 0; i < kLines; ++i) {
                const std::string line = "writer " + std::to_string(w) + " line " +
                                         std::to_string(i) + std::string(40 + w * 7, 'x') + "\r\n";
                const std::span bytes(reinterpret_cast<const std::uint8_t*>(line.data()),
                                      line.size());
                ASSERT_EQ(AppendToFile(path, bytes), FileError::kNone);
            }
        });
    }
    for (auto& writer : writers)
        writer.join();

    const auto read = ReadWholeFile(path);
    ASSERT_TRUE(read);
    const std::string text(read.bytes.begin(), read.bytes.end());
    std::set<std::string> seen;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find("\r\n", start);
        ASSERT_NE(end, std::string::npos) << "cut line at " << start;
        seen.insert(text.substr(start, end - start));
        start = end + 2;
    }
    ASSERT_EQ(seen.size(), static_cast<std::size_t>(kWriters * kLines));
    for (int w = 0; w < kWriters; ++w) {
        for (int i = 0; i < kLines; ++i) {
            const std::string line = "writer " + std::to_string(w) + " line " + std::to_string(i) +
                                     std::string(40 + w * 7, 'x');
            EXPECT_EQ(seen.count(line), 1u) << line;
        }
    }
}

TEST(FileIo, SharedFileReadsAndWritesAtOffsetsAndTellsWhetherItMadeTheFile) {
    ScratchDir dir;
    const auto path = dir.File("db.dat");
    SharedFile file;
    EXPECT_FALSE(file.Open(path, SharedFile::Access::kReadWrite, false));
    ASSERT_TRUE(file.Open(path, SharedFile::Access::kReadWrite, true));
    EXPECT_TRUE(file.Created());
    const std::vector<std::uint8_t> head{1, 2, 3, 4}, tail{9, 9};
    ASSERT_TRUE(file.WriteAt(0, head));
    ASSERT_TRUE(file.WriteAt(6, tail));  // leaves a gap of zeros
    ASSERT_TRUE(file.Flush());
    EXPECT_EQ(file.Size().value_or(0), 8u);

    // A second handle, opened while the first is open, sees the bytes.
    SharedFile reader;
    ASSERT_TRUE(reader.Open(path, SharedFile::Access::kRead, true));
    EXPECT_FALSE(reader.Created());
    std::vector<std::uint8_t> buffer(16);
    EXPECT_EQ(reader.ReadAt(2, buffer).value_or(0), 6u);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + 6),
              (std::vector<std::uint8_t>{3, 4, 0, 0, 9, 9}));

    ASSERT_TRUE(file.Resize(3));
    EXPECT_EQ(reader.ReadAt(0, buffer).value_or(99), 3u);
    EXPECT_EQ(reader.ReadAt(10, buffer).value_or(99), 0u);

    // A folder is neither a file nor made into one.
    EXPECT_FALSE(reader.Open(dir.path().string(), SharedFile::Access::kRead, true));
    EXPECT_TRUE(PathExists(dir.path().string()));
    EXPECT_TRUE(PathExists(path));
    EXPECT_FALSE(PathExists(dir.File("nothing")));
}

}  // namespace
}  // namespace olvex
