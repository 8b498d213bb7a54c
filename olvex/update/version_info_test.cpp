#include "olvex/update/version_info.h"

#include <gtest/gtest.h>

#include "olvex/core/definition_blocks.h"
#include "testing/scratch_dir.h"
#include "tools/publisher/definition_writer.h"

namespace olvex {
namespace {

using olvex::testing::ScratchDir;

std::vector<unsigned char> Bytes(const std::vector<std::uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

TEST(VersionInfo, DownloadedFileValidity) {
    ScratchDir dir;
    const auto header = SerializeBlockHeader(DefinitionBlockHeader{});
    const std::vector<unsigned char> block(header.begin(), header.end());
    const std::vector<unsigned char> empty;
    const std::vector<unsigned char> text = {'n', 'o', 't', ' ', 'a', ' ', 'b', 'l', 'o', 'c', 'k'};
    const struct {
        const char* name;
        const std::vector<unsigned char>* bytes;  // null: not written
        bool valid;
    } cases[] = {
        {"readme.txt", nullptr, true},  // no ".dat": valid without being opened
        {"langv5.dat.4.2.qzu", &text, true},  {"LFINFO.DAT", &text, true},
        {"qzsrindex.dat", &text, true},       {"excluded.dat", &text, true},
        {"qzfile.dat.4.2.qzu", &block, true}, {"qzfile.dat", &text, false},
        {"qzinfo.dat", nullptr, false},  // cannot be opened
        {"qzloc.dat", &empty, false},
    };
    for (const auto& c : cases) {
        const std::string path = c.bytes ? dir.Write(c.name, *c.bytes) : dir.File(c.name);
        EXPECT_EQ(IsDatFileValid(path), c.valid) << c.name;
    }
    // Three bytes of the magic are not the magic.
    EXPECT_FALSE(IsDatFileValid(dir.Write("short.dat", std::string("PES"))));
    // Only the name decides, not the folder it is in.
    EXPECT_FALSE(IsDatFileValid(dir.Write("langv5/qzfile.dat", text)));
}

TEST(VersionInfo, TimeStampIsTheLastBlocks) {
    ScratchDir dir;
    auto source = tools::ParseDefinitionSource(
        "block 2004-03-15 09:40\npest 1 \"A\" \"Adware\"\n"
        "block 2004-05-12 13:00\npest 2 \"B\" \"Adware\"\n",
        ".", "t.defs");
    ASSERT_TRUE(source.ok()) << source.error;
    const auto files = tools::BuildDefinitionFiles(source.set);
    const auto info = dir.Write("qzinfo.dat", Bytes(files.pests));
    const auto stamp = ReadDefinitionTimeStamp(info);
    EXPECT_EQ(stamp.error, TimeStampError::kNone);
    EXPECT_EQ(FileTimeToCalendar(stamp.block_time), (CalendarTime{2004, 5, 12, 13, 0, 0}));
    EXPECT_EQ(ReadDefinitionTimeStamp(dir.File("none.dat")).error, TimeStampError::kCannotOpen);
    EXPECT_EQ(ReadDefinitionTimeStamp(dir.Write("empty.dat", std::string())).error,
              TimeStampError::kNoBlock);
}

TEST(VersionInfo, CompositeVersion) {
    const auto may_12_2004_13h = CalendarToFileTime({2004, 5, 12, 13, 0, 0});
    ASSERT_TRUE(may_12_2004_13h);
    EXPECT_EQ(CompositeVersion("5.6.7.4", "1.0.0.0", *may_12_2004_13h), "2010.11.19.17");
    // A missing cleaner reads "Unknown": 0.0.0.0.
    EXPECT_EQ(CompositeVersion("5.6.7.4", "Unknown", *may_12_2004_13h), "2009.11.19.17");
    // Sums are 16-bit; a time that is none counts as 1601-01-01 00:00.
    EXPECT_EQ(CompositeVersion("65535.1", "", 0x8000000000000000ull), "1600.2.1.0");
}

}  // namespace
}  // namespace olvex
