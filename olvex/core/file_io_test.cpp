#include "olvex/core/file_io.h"

#include <gtest/gtest.h>

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
