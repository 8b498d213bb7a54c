#include "olvex/update/definition_delta_apply.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "olvex/core/definition_blocks.h"
#include "olvex/core/file_io.h"
#include "olvex/core/file_set_replace.h"
#include "testing/scratch_dir.h"
#include "tools/publisher/definition_writer.h"

namespace olvex {
namespace {

using olvex::testing::ReadFileBytes;
using olvex::testing::ScratchDir;
using tools::DefinitionFileKind;

constexpr const char* kSource = R"(block 2004-03-15 09:40
pest 1 "Delta.One" "Adware"
signature 1 crc 0x11111111
key 1 "HKEY_CURRENT_USER\Software\DeltaTest" value "v" data "d"
block 2004-04-01 12:00
pest 2 "Delta.Two" "Spyware"
file 2 "%WINDOWS%\two.exe"
block 2004-04-02 13:00
pest 3 "Delta.Three" "Dialer"
signature 3 crc 0x33333333
)";

constexpr DefinitionFileKind kKinds[] = {
    DefinitionFileKind::kSignatures, DefinitionFileKind::kPests, DefinitionFileKind::kLocations};
constexpr const char* kStems[] = {"qzfile", "qzinfo", "qzloc"};

// The base files installed, the packages of blocks 1 and 2, and the whole
// files they must add up to.
class DeltaApplyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto source = tools::ParseDefinitionSource(kSource, ".", "delta.defs");
        ASSERT_TRUE(source.ok()) << source.error;
        for (std::size_t f = 0; f < 3; ++f) {
            std::string error;
            const auto payloads = tools::EncodePayloads(source.set, kKinds[f], error);
            ASSERT_TRUE(payloads) << error;
            const auto whole = tools::BuildBlockFile(*payloads, kKinds[f]);
            const auto base = tools::BuildBlockFile(std::span(*payloads).first(1), kKinds[f]);
            whole_[f] = whole.bytes;
            targets_[f] = dir_.Write(std::string(kStems[f]) + ".dat", base.bytes);
            for (std::size_t block = 1; block <= 2; ++block)
                packages_[f][block - 1] =
                    tools::BuildBlockFile(std::span(*payloads).subspan(block, 1), kKinds[f]).bytes;
        }
        for (std::size_t f = 0; f < 3; ++f)
            base_[f] = ReadFileBytes(targets_[f]);
    }

    // A downloaded delta of one file and block, under a name carrying target.
    DeltaFileRef Package(std::size_t file, std::size_t block, const std::string& target,
                         const std::vector<std::uint8_t>* bytes = nullptr) {
        const std::string name = std::string(kStems[file]) + target + ".qzu";
        const auto path =
            dir_.Write("temp/" + name + ".9.3.qzu", bytes ? *bytes : packages_[file][block]);
        return {name, path};
    }
    std::vector<DeltaFileRef> FullSet() {
        std::vector<DeltaFileRef> set;
        for (std::size_t f = 0; f < 3; ++f) {
            set.push_back(Package(f, 1, "1000"));  // listed newest first on purpose
            set.push_back(Package(f, 0, "999"));
        }
        return set;
    }
    void ExpectUnchanged(const std::vector<DeltaFileRef>& deltas, const std::string& label) {
        for (std::size_t f = 0; f < 3; ++f)
            EXPECT_EQ(ReadFileBytes(targets_[f]), base_[f]) << label << " " << kStems[f];
        for (const auto& delta : deltas) {
            if (delta.path.find("missing") == std::string::npos) {
                EXPECT_TRUE(FileExists(delta.path)) << label << " " << delta.file_name;
            }
        }
    }

    ScratchDir dir_;
    DefinitionFilePaths targets_;
    std::array<std::vector<std::uint8_t>, 3> base_, whole_;
    std::array<std::array<std::vector<std::uint8_t>, 2>, 3> packages_;
};

TEST_F(DeltaApplyTest, AppendsEveryFileInNumericTargetOrder) {
    // "1000" sorts before "999" as text: only numeric order gives the files.
    const auto deltas = FullSet();
    const auto result = ApplyDefinitionDeltas(deltas, targets_);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.applied, 6u);
    for (std::size_t f = 0; f < 3; ++f) {
        EXPECT_EQ(ReadFileBytes(targets_[f]), whole_[f]) << kStems[f];
        EXPECT_TRUE(ReadBlockFile(targets_[f]).ok()) << kStems[f];
    }
    EXPECT_EQ(ReadHeaderTotals(dir_.path().string()).data_version, 4040213);
    for (const auto& delta : deltas)
        EXPECT_FALSE(FileExists(delta.path)) << delta.file_name;
}

TEST_F(DeltaApplyTest, AFailedSetChangesNothing) {
    std::vector<std::uint8_t> flipped = packages_[1][1];
    flipped[flipped.size() - 3] ^= 0x10;
    const std::vector<std::uint8_t> empty;
    const struct {
        const char* name;
        std::function<std::vector<DeltaFileRef>()> deltas;
        std::string error;
    } cases[] = {
        {"five files",
         [&] {
             auto s = FullSet();
             s.pop_back();
             return s;
         },
         "Missing delta files."},
        {"a qzloc delta missing among six",
         [&] {
             auto s = FullSet();
             s.back() = Package(1, 0, "998");
             return s;
         },
         "Missing delta files."},
        {"targets that do not line up",
         [&] {
             auto s = FullSet();
             s[5] = Package(2, 0, "997");
             return s;
         },
         "Missing delta files."},
        {"a name with no stem",
         [&] {
             auto s = FullSet();
             s[0].file_name = "other1000.qzu";
             return s;
         },
         "Could not apply deltas."},
        {"a package that cannot be read",
         [&] {
             auto s = FullSet();
             s[2].path = dir_.File("missing.qzu");
             return s;
         },
         "Could not open delta file."},
        {"a spoilt block",
         [&] {
             auto s = FullSet();
             s[2] = Package(1, 1, "1000", &flipped);
             return s;
         },
         " is corrupt."},
        {"an empty package",
         [&] {
             auto s = FullSet();
             s[4] = Package(2, 1, "1000", &empty);
             return s;
         },
         " is corrupt."},
        {"a locations block as the pests delta",
         [&] {
             auto s = FullSet();
             s[3] = Package(1, 0, "999", &packages_[2][0]);
             return s;
         },
         " is not compatible."},
    };
    for (const auto& c : cases) {
        const auto deltas = c.deltas();
        const auto result = ApplyDefinitionDeltas(deltas, targets_);
        EXPECT_FALSE(result.ok) << c.name;
        EXPECT_EQ(result.applied, 0u) << c.name;
        EXPECT_NE(result.error.find(c.error), std::string::npos) << c.name << ": " << result.error;
        ExpectUnchanged(deltas, c.name);
    }
}

TEST_F(DeltaApplyTest, MissingDefinitionFileChangesNothing) {
    const auto deltas = FullSet();
    std::filesystem::remove(targets_[2]);
    const auto result = ApplyDefinitionDeltas(deltas, targets_);
    EXPECT_EQ(result.error, "Could not open dat file.");
    for (std::size_t f = 0; f < 2; ++f)
        EXPECT_EQ(ReadFileBytes(targets_[f]), base_[f]);
    EXPECT_FALSE(FileExists(targets_[2]));
}

#ifdef _WIN32
TEST_F(DeltaApplyTest, AFileInUseIsReplacedWithTheRestOfItsSetOnceItIsFree) {
    // The last file cannot be renamed over while a reader holds it: the set
    // is committed, and its last rename waits for the next load or apply.
    // No reader ever sees the old last file beside the new others once the
    // set is finished.
    const auto deltas = FullSet();
    {
        InputFile reader;
        ASSERT_TRUE(reader.Open(targets_[2]));
        const auto result = ApplyDefinitionDeltas(deltas, targets_);
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(ReadFileBytes(targets_[2]), base_[2]);
    }
    EXPECT_EQ(FinishInterruptedReplace(ReplaceJournalBeside(targets_[0])),
              RecoveryOutcome::kCompleted);
    for (std::size_t f = 0; f < 3; ++f)
        EXPECT_EQ(ReadFileBytes(targets_[f]), whole_[f]) << kStems[f];
    for (const auto& delta : deltas)
        EXPECT_FALSE(FileExists(delta.path)) << delta.file_name;
}
#endif

TEST(DeltaTarget, DigitsBeforeTheExtension) {
    EXPECT_EQ(DeltaTargetOf("qzfile4040213.qzu"), 4040213u);
    EXPECT_EQ(DeltaTargetOf("qzloc1000"), 1000u);
    EXPECT_EQ(DeltaTargetOf("qzinfo.qzu"), 0u);
    EXPECT_EQ(DeltaTargetOf("qzinfo99999999999999999999999.qzu"), 9223372036854775807u);
}

}  // namespace
}  // namespace olvex
