#include "olvex/core/file_set_replace.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "olvex/core/dat_database.h"
#include "olvex/core/file_io.h"
#include "testing/scratch_dir.h"
#include "tools/publisher/definition_set.h"
#include "tools/publisher/definition_writer.h"

namespace olvex {
namespace {

namespace fs = std::filesystem;
using testing::ScratchDir;

constexpr std::array<const char*, 3> kNames = {"qzinfo.dat", "qzfile.dat", "qzloc.dat"};

constexpr const char* kOldSource = R"(block 2004-03-15 09:40
pest 5101 "Replace.Old" "Adware"
signature 5101 crc 0x51015101
file 5101 "%WINDOWS%\replace-old.exe"
)";
constexpr const char* kNewSource = R"(block 2004-04-01 12:00
pest 5102 "Replace.New" "Spyware"
pest 5103 "Replace.Newer" "Spyware"
signature 5102 crc 0x51025102
file 5102 "%WINDOWS%\replace-new.exe"
)";

std::array<std::vector<std::uint8_t>, 3> Build(const char* source) {
    const auto parsed = tools::ParseDefinitionSource(source, ".", "replace.defs");
    EXPECT_TRUE(parsed.ok()) << parsed.error;
    auto files = tools::BuildDefinitionFiles(parsed.set);
    EXPECT_TRUE(files.ok()) << files.error;
    return {files.pests, files.signatures, files.locations};
}

std::vector<std::uint8_t> Read(const std::string& path) {
    return ReadWholeFile(path).bytes;
}

class FileSetReplaceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        old_ = Build(kOldSource);
        new_ = Build(kNewSource);
        for (std::size_t i = 0; i < kNames.size(); ++i)
            ASSERT_EQ(WriteWholeFile(Target(i), old_[i]), FileError::kNone);
    }

    std::string Target(std::size_t i) const { return dir_.File(kNames[i]); }
    std::string Journal() const { return dir_.File(std::string(kReplaceJournalName)); }

    std::vector<ReplacementFile> NewSet() const {
        std::vector<ReplacementFile> files;
        for (std::size_t i = 0; i < kNames.size(); ++i)
            files.push_back({Target(i), new_[i]});
        return files;
    }

    // 0: the old set, 1: the new set, -1: a mix or something else.
    int WhichSet() const {
        int which = -2;
        for (std::size_t i = 0; i < kNames.size(); ++i) {
            const auto bytes = Read(Target(i));
            const int file = bytes == old_[i] ? 0 : bytes == new_[i] ? 1 : -1;
            if (file < 0 || (which != -2 && which != file))
                return -1;
            which = file;
        }
        return which;
    }

    // Nothing of ours is left beside the files.
    std::vector<std::string> Leftovers() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_.path())) {
            const std::string name = entry.path().filename().string();
            if (name != kNames[0] && name != kNames[1] && name != kNames[2])
                names.push_back(name);
        }
        return names;
    }

    ScratchDir dir_;
    std::array<std::vector<std::uint8_t>, 3> old_;
    std::array<std::vector<std::uint8_t>, 3> new_;
};

// A kill before each step of the replacement, then the next load: the
// database always loads the whole old set or the whole new set, and the new
// one exactly when the kill came after the commit.
TEST_F(FileSetReplaceTest, AKillAtAnyStepLeavesTheOldOrTheNewSetForTheNextLoad) {
    std::vector<ReplaceStep> steps;
    ASSERT_EQ(ReplaceFileSet(NewSet(), Journal(),
                             [&](ReplaceStep step) {
                                 steps.push_back(step);
                                 return true;
                             })
                  .outcome,
              ReplaceOutcome::kReplaced);
    const std::vector<ReplaceStep> expected = {
        ReplaceStep::kJournalStaging, ReplaceStep::kStageFile, ReplaceStep::kStageFile,
        ReplaceStep::kStageFile,      ReplaceStep::kJournalCommit, ReplaceStep::kRename,
        ReplaceStep::kRename,         ReplaceStep::kRename,        ReplaceStep::kJournalRemove};
    ASSERT_EQ(steps, expected);

    for (std::size_t stop = 0; stop <= steps.size(); ++stop) {
        SCOPED_TRACE("killed before step " + std::to_string(stop));
        for (std::size_t i = 0; i < kNames.size(); ++i)
            ASSERT_EQ(WriteWholeFile(Target(i), old_[i]), FileError::kNone);
        std::size_t taken = 0;
        ReplaceFileSet(NewSet(), Journal(), [&](ReplaceStep) { return taken++ < stop; });
        // Killed past the commit, the files may be a mix until the next load.
        const bool committed = stop > 4;

        CDatDatabase database;
        database.SetDatFolder(dir_.path().string());
        ASSERT_EQ(database.Load(), 0) << database.GetLastErrorText();
        EXPECT_EQ(WhichSet(), committed ? 1 : 0);
        EXPECT_EQ(database.FindPest(5103).has_value(), committed);
        EXPECT_EQ(database.FindPest(5101).has_value(), !committed);
        EXPECT_TRUE(Leftovers().empty()) << Leftovers().front();
    }
}

// A new file that cannot be written beside its target: nothing is replaced
// and nothing of the attempt stays.
TEST_F(FileSetReplaceTest, AFileThatCannotBeStagedChangesNothing) {
    fs::create_directories(Target(2) + std::string(kStagedFileSuffix) + "/in-the-way");
    const auto result = ReplaceFileSet(NewSet(), Journal());
    EXPECT_EQ(result.outcome, ReplaceOutcome::kNotStaged);
    EXPECT_EQ(result.failed_path, Target(2) + std::string(kStagedFileSuffix));
    EXPECT_EQ(WhichSet(), 0);
    EXPECT_FALSE(FileExists(Journal()));
    EXPECT_FALSE(FileExists(Target(0) + std::string(kStagedFileSuffix)));
    EXPECT_FALSE(FileExists(Target(1) + std::string(kStagedFileSuffix)));
}

// A target that cannot be renamed over (in use) keeps the committed journal:
// the files left are named, a new set is refused until it is done, and the
// next recovery completes the set.
TEST_F(FileSetReplaceTest, ATargetInUseLeavesTheRenamesForLater) {
    RemoveFile(Target(1));
    fs::create_directories(Target(1) + "/busy");
    const auto result = ReplaceFileSet(NewSet(), Journal());
    EXPECT_EQ(result.outcome, ReplaceOutcome::kRenamesPending);
    EXPECT_EQ(result.failed_path, Target(1));
    ASSERT_EQ(result.pending.size(), 1u);
    EXPECT_EQ(result.pending[0].second, Target(1));
    EXPECT_EQ(Read(Target(0)), new_[0]);
    EXPECT_EQ(Read(Target(2)), new_[2]);
    EXPECT_EQ(ReplaceFileSet(NewSet(), Journal()).outcome, ReplaceOutcome::kNotStaged);
    EXPECT_EQ(FinishInterruptedReplace(Journal()), RecoveryOutcome::kRenamesPending);

    fs::remove_all(Target(1));
    EXPECT_EQ(FinishInterruptedReplace(Journal()), RecoveryOutcome::kCompleted);
    EXPECT_EQ(WhichSet(), 1);
    EXPECT_TRUE(Leftovers().empty());
}

// A journal we did not write never makes the recovery touch other files.
TEST_F(FileSetReplaceTest, AForeignJournalIsRemovedAndNothingElseIsTouched) {
    const std::string victim = dir_.Write("victim.txt", "keep me");
    const std::string other = dir_.Write("other.olxnew", "staged elsewhere");
    for (const std::string& text :
         {"commit\n" + other + "\n" + victim + "\n", "staging\n" + victim + "\n" + Target(0) + "\n",
          "rename\n" + Target(0) + ".olxnew\n" + Target(0) + "\n", std::string("commit\nhalf")}) {
        SCOPED_TRACE(text);
        WriteWholeFile(Journal(), {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
        EXPECT_EQ(FinishInterruptedReplace(Journal()), RecoveryOutcome::kJournalRefused);
        EXPECT_FALSE(FileExists(Journal()));
        EXPECT_TRUE(FileExists(victim));
        EXPECT_TRUE(FileExists(other));
        EXPECT_EQ(WhichSet(), 0);
    }
    EXPECT_EQ(FinishInterruptedReplace(Journal()), RecoveryOutcome::kNothing);
}

}  // namespace
}  // namespace olvex
