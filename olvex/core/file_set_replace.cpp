#include "olvex/core/file_set_replace.h"

#include <optional>

#include "olvex/core/file_io.h"

namespace olvex {
namespace {

constexpr std::string_view kStagingLine = "staging";
constexpr std::string_view kCommitLine = "commit";
// A journal is a short list of paths; anything larger is not ours.
constexpr std::uint64_t kMaxJournalBytes = 256 * 1024;

using Pairs = std::vector<std::pair<std::string, std::string>>;  // staged, target

struct Journal {
    bool committed = false;
    Pairs pairs;
};

std::string StagedPathOf(const std::string& target) {
    return target + std::string(kStagedFileSuffix);
}

bool WriteJournal(const std::string& path, bool committed, const Pairs& pairs) {
    std::string text(committed ? kCommitLine : kStagingLine);
    text += '\n';
    for (const auto& [staged, target] : pairs) {
        text += staged;
        text += '\n';
        text += target;
        text += '\n';
    }
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()),
                                              text.size());
    // Atomic: a kill leaves the journal before or after, never half of it.
    return WriteWholeFile(path, bytes, true) == FileError::kNone;
}

// Nullopt for a journal that cannot be read or is not in our form. Every
// staged path must be its target's path with our suffix, so that a journal
// can never make us rename or delete anything else.
std::optional<Journal> ReadJournal(const std::string& path) {
    const FileBytes file = ReadWholeFile(path, kMaxJournalBytes);
    if (!file)
        return std::nullopt;
    std::vector<std::string> lines;
    std::string line;
    for (const std::uint8_t byte : file.bytes) {
        if (byte == '\n') {
            lines.push_back(std::move(line));
            line.clear();
        } else if (byte != '\r') {
            line.push_back(static_cast<char>(byte));
        }
    }
    if (!line.empty() || lines.empty() || lines.size() % 2 != 1)
        return std::nullopt;
    Journal journal;
    if (lines[0] == kCommitLine)
        journal.committed = true;
    else if (lines[0] != kStagingLine)
        return std::nullopt;
    for (std::size_t i = 1; i < lines.size(); i += 2) {
        if (lines[i + 1].empty() || lines[i] != StagedPathOf(lines[i + 1]))
            return std::nullopt;
        journal.pairs.emplace_back(std::move(lines[i]), std::move(lines[i + 1]));
    }
    return journal;
}

// The renames of a committed set; the pairs still waiting (empty: done).
Pairs RenameAll(const Pairs& pairs, std::string* failed_path) {
    Pairs waiting;
    for (const auto& [staged, target] : pairs) {
        // A staged copy that is gone was renamed before (by an earlier run,
        // a restart, or another process finishing the same journal).
        if (!FileExists(staged) || MoveFileReplacing(staged, target) || !FileExists(staged))
            continue;
        if (failed_path && failed_path->empty())
            *failed_path = target;
        waiting.emplace_back(staged, target);
    }
    return waiting;
}

}  // namespace

std::string ReplaceJournalBeside(const std::string& file_path) {
    const auto slash = file_path.find_last_of("\\/");
    std::string folder = slash == std::string::npos ? std::string(".") : file_path.substr(0, slash);
    const char separator = slash == std::string::npos ? kPathSeparator : file_path[slash];
    return folder + separator + std::string(kReplaceJournalName);
}

RecoveryOutcome FinishInterruptedReplace(const std::string& journal_path) {
    if (!FileExists(journal_path))
        return RecoveryOutcome::kNothing;
    const auto journal = ReadJournal(journal_path);
    if (!journal) {
        RemoveFile(journal_path);
        return RecoveryOutcome::kJournalRefused;
    }
    if (!journal->committed) {
        for (const auto& pair : journal->pairs)
            RemoveFile(pair.first);
        RemoveFile(journal_path);
        return RecoveryOutcome::kRolledBack;
    }
    if (!RenameAll(journal->pairs, nullptr).empty())
        return RecoveryOutcome::kRenamesPending;
    RemoveFile(journal_path);
    return RecoveryOutcome::kCompleted;
}

ReplaceSetResult ReplaceFileSet(std::span<const ReplacementFile> files,
                                const std::string& journal_path, const ReplaceStepHook& hook) {
    ReplaceSetResult result;
    const auto go = [&](ReplaceStep step) { return !hook || hook(step); };
    if (FinishInterruptedReplace(journal_path) == RecoveryOutcome::kRenamesPending) {
        // The set before is not in place yet: staging over its copies would
        // lose it.
        result.failed_path = journal_path;
        return result;
    }
    Pairs pairs;
    for (const auto& file : files)
        pairs.emplace_back(StagedPathOf(file.target), file.target);

    if (!go(ReplaceStep::kJournalStaging))
        return result;
    if (!WriteJournal(journal_path, false, pairs)) {
        result.failed_path = journal_path;
        return result;
    }
    const auto undo = [&] {
        for (const auto& pair : pairs)
            RemoveFile(pair.first);
        RemoveFile(journal_path);
    };
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!go(ReplaceStep::kStageFile))
            return result;
        if (WriteWholeFile(pairs[i].first, files[i].bytes) != FileError::kNone) {
            undo();
            result.failed_path = pairs[i].first;
            return result;
        }
    }
    if (!go(ReplaceStep::kJournalCommit))
        return result;
    if (!WriteJournal(journal_path, true, pairs)) {
        undo();
        result.failed_path = journal_path;
        return result;
    }
    // From here on the new set is the valid one.
    for (const auto& pair : pairs) {
        if (!go(ReplaceStep::kRename))
            return result;
        if (FileExists(pair.first) && !MoveFileReplacing(pair.first, pair.second) &&
            FileExists(pair.first)) {
            result.failed_path = pair.second;
            break;
        }
    }
    if (!result.failed_path.empty()) {
        result.pending = RenameAll(pairs, nullptr);
        if (!result.pending.empty()) {
            result.outcome = ReplaceOutcome::kRenamesPending;
            return result;
        }
        result.failed_path.clear();
    }
    if (!go(ReplaceStep::kJournalRemove))
        return result;
    RemoveFile(journal_path);
    result.outcome = ReplaceOutcome::kReplaced;
    return result;
}

}  // namespace olvex
