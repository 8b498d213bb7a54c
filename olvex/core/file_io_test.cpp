#include "olvex/core/file_io.h"

#include <gtest/gtest.h>

#include <algorithm>

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
    EXPECT_FALSE(FileExists(path + ".tmp"));
    EXPECT_EQ(WriteWholeFile(dir.File("no/such/folder/x"), first), FileError::kWriteFailed);
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

}  // namespace
}  // namespace olvex
