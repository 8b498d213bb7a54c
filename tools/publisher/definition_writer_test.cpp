#include "tools/publisher/definition_writer.h"

#include <gtest/gtest.h>

#include "olvex/core/definition_blocks.h"
#include "olvex/core/file_io.h"
#include "testing/scratch_dir.h"
#include "tools/publisher/synthetic_set.h"

namespace olvex::tools {
namespace {

using olvex::testing::ScratchDir;

const std::vector<std::uint8_t>& FileOf(const DefinitionFiles& files, DefinitionFileKind kind) {
    switch (kind) {
        case DefinitionFileKind::kPests:
            return files.pests;
        case DefinitionFileKind::kSignatures:
            return files.signatures;
        default:
            return files.locations;
    }
}

// Reads the three files back as the engine does and checks every block
// against the set it was built from.
void ExpectReadsBackAs(const DefinitionFiles& files, const DefinitionSet& set) {
    ASSERT_TRUE(files.ok()) << files.error;
    for (const auto kind : {DefinitionFileKind::kPests, DefinitionFileKind::kSignatures,
                            DefinitionFileKind::kLocations}) {
        const std::string path = "C:\\defs\\" + std::string(FileNameOf(kind));
        const auto read = ReadBlockBuffer(FileOf(files, kind), path);
        ASSERT_TRUE(read.ok()) << path << ": " << read.text;
        std::size_t next = 0;
        for (const PublishedBlock& block : set.blocks) {
            const std::size_t count = kind == DefinitionFileKind::kPests ? block.pests.size()
                                      : kind == DefinitionFileKind::kSignatures
                                          ? block.signatures.size()
                                          : block.locations.size();
            if (count == 0)
                continue;  // written as a bare header
            ASSERT_LT(next, read.blocks.size()) << path;
            const DecodedBlock& decoded = read.blocks[next++];
            ASSERT_EQ(decoded.record_count, count);
            const auto n = static_cast<std::int32_t>(count);
            if (kind == DefinitionFileKind::kPests)
                EXPECT_EQ(DecodePestRecords(decoded.data, n).records, block.pests);
            else if (kind == DefinitionFileKind::kSignatures)
                EXPECT_EQ(DecodeSignatureRecords(decoded.data, n).records, block.signatures);
            else
                EXPECT_EQ(DecodeLocationRecords(decoded.data, n).records, block.locations);
        }
        EXPECT_EQ(next, read.blocks.size()) << path;
        // Every block of the set has a header in every file.
        EXPECT_EQ(WalkBlockHeaders(FileOf(files, kind)).blocks,
                  static_cast<std::int32_t>(set.blocks.size()));
        if (kind == DefinitionFileKind::kPests) {
            EXPECT_EQ(read.data_version, DataVersionFromFileTime(set.blocks.back().block_time));
        }
    }
}

TEST(DefinitionWriter, SourceSetReadsBack) {
    const auto source = ParseDefinitionSource(R"(
block 2004-03-15 09:40
pest 1 "One" "Adware"
signature 1 crc 0x10 md5 000102030405060708090a0b0c0d0e0f
memory 1 0x11
key 1 "HKEY_CURRENT_USER\Software\One" value "v"
cookie 1 "one@x.example"
block 2004-03-16 09:40
remove cookie 1 "one@x.example"
block 2004-03-17 09:40
pest 2 "Two" "Dialer"
)",
                                              ".", "writer");
    ASSERT_TRUE(source.ok()) << source.error;
    ExpectReadsBackAs(BuildDefinitionFiles(source.set), source.set);
}

TEST(DefinitionWriter, SyntheticSetsReadBackAndRepeat) {
    SyntheticOptions options;
    options.pests = 300;
    options.signatures = 900;
    options.locations = 1000;
    options.deltas = 3;
    const auto set = MakeSyntheticSet(options);
    ASSERT_EQ(set.blocks.size(), 4u);
    EXPECT_EQ(set.blocks[0].pests.size(), 300u);
    EXPECT_EQ(set.blocks[0].signatures.size(), 900u);
    EXPECT_EQ(set.blocks[0].locations.size(), 1000u);
    // Each delta adds some and takes one of each kind back.
    EXPECT_EQ(set.blocks[1].pests.back().pest_id, -1);
    EXPECT_EQ(set.blocks[3].locations.back().text, set.blocks[0].locations[2].text);
    EXPECT_EQ(set.blocks[3].locations.back().pest_id, -set.blocks[0].locations[2].pest_id);
    const auto files = BuildDefinitionFiles(set);
    ExpectReadsBackAs(files, set);

    // The same options give the same bytes; another seed other bytes.
    EXPECT_EQ(BuildDefinitionFiles(MakeSyntheticSet(options)).locations, files.locations);
    options.seed = 2;
    EXPECT_NE(BuildDefinitionFiles(MakeSyntheticSet(options)).locations, files.locations);

    // Every location text of a synthetic set is one the engine parses.
    for (const auto& location : set.blocks[0].locations)
        EXPECT_NE(LocationKindOf(location.text), LocationKind::kUnknown) << location.text;
}

TEST(DefinitionWriter, ReportsABlockThatCannotBeSpoiled) {
    const auto source = ParseDefinitionSource(
        "block 2004-03-15 09:40\npest 1 a b\nblock 2004-03-16 09:40\npest 2 c d\n", ".", "x");
    ASSERT_TRUE(source.ok());
    // The second block has no signature to spoil.
    const auto files = BuildDefinitionFiles(source.set, {Corruption::kFlipBit, 1});
    EXPECT_EQ(files.error, "qzfile.dat: there is no block 1 with records to spoil");

    BlockPayload record{1, 1, {1, 2, 3}};
    EXPECT_TRUE(
        BuildBlockFile({&record, 1}, DefinitionFileKind::kPests, {Corruption::kBadJc, 0}).ok());
    EXPECT_FALSE(
        BuildBlockFile({&record, 1}, DefinitionFileKind::kPests, {Corruption::kBadJc, 1}).ok());
}

TEST(DefinitionWriter, WritesTheThreeFilesIntoAFolder) {
    ScratchDir dir;
    const auto set = MakeSyntheticSet({10, 10, 10, 1, 5});
    const auto out = (dir.path() / "new" / "defs").string();
    ASSERT_EQ(WriteDefinitionFiles(set, out), "");
    for (const char* name : {"/qzinfo.dat", "/qzfile.dat", "/qzloc.dat"}) {
        const auto read = ReadBlockFile(out + name);
        EXPECT_TRUE(read.ok()) << name << read.text;
        EXPECT_EQ(read.blocks.size(), 2u) << name;
    }
    // A file standing where the folder should be.
    const auto blocked = dir.Write("blocked", std::string("x"));
    EXPECT_FALSE(WriteDefinitionFiles(set, blocked + "/defs").empty());
}

}  // namespace
}  // namespace olvex::tools
