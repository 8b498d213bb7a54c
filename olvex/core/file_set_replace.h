// Replacing a set of files so that a reader only ever sees the whole old set
// or the whole new set, even when the process is killed part way.
//
// Each new file is first written beside its target ("<target>.olxnew"). A
// journal in the set's folder lists the pairs: while it says "staging" the
// old set is the valid one and a restart throws the staged copies away; once
// it says "commit" (one atomic rename) the new set is the valid one and a
// restart finishes the renames. Whoever reads the set first calls
// FinishInterruptedReplace, so an interrupted update is completed or undone
// before anything loads.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace olvex {

inline constexpr std::string_view kStagedFileSuffix = ".olxnew";
inline constexpr std::string_view kReplaceJournalName = "olxswap.lst";

struct ReplacementFile {
    std::string target;
    std::span<const std::uint8_t> bytes;
};

enum class ReplaceOutcome {
    kReplaced,        // every target holds its new bytes
    kNotStaged,       // a new file could not be written: nothing changed
    kRenamesPending,  // committed, but some targets could not be renamed
                      // over (in use): the journal stays, and the next
                      // FinishInterruptedReplace (or a restart) ends the job
};

struct ReplaceSetResult {
    ReplaceOutcome outcome = ReplaceOutcome::kNotStaged;
    std::string failed_path;  // the file that could not be written or renamed over
    // kRenamesPending: the staged copies still waiting, and their targets.
    std::vector<std::pair<std::string, std::string>> pending;
};

// The steps of a replacement, in order, for a test that stops at each one
// as a kill would.
enum class ReplaceStep { kJournalStaging, kStageFile, kJournalCommit, kRename, kJournalRemove };
// Called before each step; false stops the replacement there, leaving the
// files as they are (the result then says kNotStaged).
using ReplaceStepHook = std::function<bool(ReplaceStep step)>;

// Replaces the targets with their bytes as one set. journal_path is the
// journal's full path (one per folder of sets). A journal left by an earlier
// interrupted replacement is dealt with first.
ReplaceSetResult ReplaceFileSet(std::span<const ReplacementFile> files,
                                const std::string& journal_path, const ReplaceStepHook& hook = {});

enum class RecoveryOutcome {
    kNothing,         // no journal
    kCompleted,       // a committed set was completed
    kRolledBack,      // a set being staged was thrown away
    kRenamesPending,  // a committed set still cannot be completed
    kJournalRefused,  // a journal that is not ours was removed, nothing else touched
};

// Completes or undoes what an interrupted ReplaceFileSet left behind.
RecoveryOutcome FinishInterruptedReplace(const std::string& journal_path);

// The folder part of a path ("." when there is none) joined with the
// journal's name: the journal of the set a file belongs to.
std::string ReplaceJournalBeside(const std::string& file_path);

}  // namespace olvex
