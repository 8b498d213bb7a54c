#include "olvex/update/definition_delta_apply.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

#include "olvex/core/definition_blocks.h"
#include "olvex/core/file_io.h"
#include "olvex/core/file_set_replace.h"
#include "olvex/core/leading_decimal.h"
#include "olvex/update/delta_index.h"

namespace olvex {
namespace {

DeltaApplyResult Failure(std::string_view text) {
    return {false, std::string(text), 0};
}

struct LoadedDelta {
    const DeltaFileRef* ref = nullptr;
    std::uint64_t target = 0;
    std::vector<std::uint8_t> bytes;
};

using DeltaBuckets = std::array<std::vector<LoadedDelta>, kDeltaStems.size()>;

// Steps 1: sorts the deltas into their files, in target order; an error text
// when the set is not complete.
std::optional<std::string_view> Sort(std::span<const DeltaFileRef> deltas, DeltaBuckets& buckets) {
    if (deltas.empty() || deltas.size() % kDeltaStems.size() != 0)
        return kMissingDeltaFilesText;
    for (const auto& delta : deltas) {
        const auto stem = DeltaStemOf(delta.file_name);
        if (!stem)
            return kCouldNotApplyDeltasText;
        buckets[*stem].push_back({&delta, DeltaTargetOf(delta.file_name), {}});
    }
    for (auto& bucket : buckets) {
        if (bucket.size() != buckets[0].size())
            return kMissingDeltaFilesText;
        std::sort(bucket.begin(), bucket.end(), [](const LoadedDelta& a, const LoadedDelta& b) {
            if (a.target != b.target)
                return a.target < b.target;
            return a.ref->file_name < b.ref->file_name;
        });
    }
    for (std::size_t i = 0; i < buckets[0].size(); ++i) {
        for (const auto& bucket : buckets) {
            if (bucket[i].target != buckets[0][i].target)
                return kMissingDeltaFilesText;
        }
    }
    return std::nullopt;
}

// Step 2: reads every delta and checks it as blocks of its file.
std::optional<std::string> LoadAndCheck(DeltaBuckets& buckets) {
    for (auto& bucket : buckets) {
        for (auto& delta : bucket) {
            auto file = ReadWholeFile(delta.ref->path, kMaxDeltaFileBytes);
            if (!file)
                return std::string(kCouldNotOpenDeltaText);
            // The file's own path labels the verdict and, by its stem, picks
            // the compatibility date its blocks must carry.
            const auto verdict = ReadBlockBuffer(file.bytes, delta.ref->path);
            if (!verdict.ok())
                return verdict.text.empty() ? std::string(kCouldNotApplyDeltasText) : verdict.text;
            if (WalkBlockHeaders(file.bytes).blocks < 1)
                return std::string(kCouldNotApplyDeltasText);
            delta.bytes = std::move(file.bytes);
        }
    }
    return std::nullopt;
}

}  // namespace

std::uint64_t DeltaTargetOf(std::string_view file_name) {
    const auto dot = file_name.rfind('.');
    std::string_view stem = dot == std::string_view::npos ? file_name : file_name.substr(0, dot);
    std::size_t digits = 0;
    while (digits < stem.size() && stem[stem.size() - 1 - digits] >= '0' &&
           stem[stem.size() - 1 - digits] <= '9')
        ++digits;
    if (digits == 0)
        return 0;
    return static_cast<std::uint64_t>(ParseLeadingDecimal(
        stem.substr(stem.size() - digits), 0, std::numeric_limits<std::int64_t>::max()));
}

DeltaApplyResult ApplyDefinitionDeltas(std::span<const DeltaFileRef> deltas,
                                       const DefinitionFilePaths& targets) {
    DeltaBuckets buckets;
    if (const auto problem = Sort(deltas, buckets))
        return Failure(*problem);
    if (const auto problem = LoadAndCheck(buckets))
        return Failure(*problem);

    std::array<std::vector<std::uint8_t>, kDeltaStems.size()> new_contents;
    std::vector<ReplacementFile> files;
    for (std::size_t f = 0; f < targets.size(); ++f) {
        auto file = ReadWholeFile(targets[f]);
        if (!file)
            return Failure(kCouldNotOpenDatText);
        new_contents[f] = std::move(file.bytes);
        for (const auto& delta : buckets[f])
            new_contents[f].insert(new_contents[f].end(), delta.bytes.begin(), delta.bytes.end());
        files.push_back({targets[f], new_contents[f]});
    }
    // The three files change as one set. Renames left over (a file in use)
    // are finished by the next load or apply.
    if (ReplaceFileSet(files, ReplaceJournalBeside(targets[0])).outcome ==
        ReplaceOutcome::kNotStaged)
        return Failure(kCouldNotApplyDeltasText);
    for (const auto& delta : deltas)
        RemoveFile(delta.path);
    return {true, {}, static_cast<std::uint32_t>(deltas.size())};
}

}  // namespace olvex
