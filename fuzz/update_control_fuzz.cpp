// The updater's server-side texts (control file, delta index), its local
// update database and the download names it reads back from the temporary
// folder, from hostile bytes: no read outside the input, no entry that names
// anything but a plain file, and the plans and the database keep their
// invariants.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "olvex/update/delta_index.h"
#include "olvex/update/local_update_database.h"
#include "olvex/update/update_control_file.h"
#include "olvex/update/definition_delta_apply.h"
#include "olvex/update/update_download_name.h"
#include "olvex/update/update_file_name.h"
#include "olvex/update/update_plan.h"

namespace {

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

void FuzzControlFile(std::string_view text) {
    const auto control = olvex::ParseControlFile(text);
    for (const auto& entry : control.entries) {
        Check(olvex::IsSafeUpdateFileName(entry.file_name));
        Check(entry.url.size() <= olvex::kMaxControlUrlChars);
        Check(entry.text.size() <= olvex::kMaxControlTextChars);
        Check(entry.download_path.empty());
    }
    const std::size_t groups = control.entries.size() + control.rejected.size();
    Check(groups * olvex::kControlGroupLines <= text.size());
}

void FuzzDeltaIndex(std::string_view text, std::uint32_t seed) {
    const auto parse = olvex::ParseDeltaIndex(text);
    if (!parse)
        return;
    const auto& index = parse.index;
    Check(index.groups.size() <=
          static_cast<std::size_t>(index.declared_groups > 0 ? index.declared_groups : 0));
    // Try the chain from every base the index names, and from one more.
    for (std::size_t start = 0; start <= index.groups.size(); ++start) {
        olvex::DeltaChainInput input;
        input.installed_version = start < index.groups.size() ? index.groups[start].base_version
                                                              : static_cast<std::int32_t>(seed);
        input.appended_delta_bytes = seed & 0xFFFF;
        input.max_delta_bytes = seed;
        input.whole_file_bytes = static_cast<std::uint64_t>(seed) * 3;
        input.delta_entry_version = 5;
        const auto plan = olvex::PlanDeltaChain(index, input);
        if (!plan)
            continue;
        Check(!plan->files.empty() && plan->files.size() % olvex::kDeltaFilesPerGroup == 0);
        Check(plan->bytes + input.appended_delta_bytes <= input.max_delta_bytes);
        Check(plan->bytes <= input.whole_file_bytes);
        for (const auto& file : plan->files) {
            Check(olvex::IsSafeUpdateFileName(file.file_name));
            Check(file.type == olvex::kUpdateDatDelta);
        }
    }
}

// The entries of a control file planned against a machine on which every
// other file is installed at version seed: the totals always count what is
// pending, and nothing pending is the delta index.
void FuzzUpdatePlan(const olvex::ControlFile& control, std::uint32_t seed) {
    olvex::UpdatePlanSources sources;
    sources.installed = [seed](std::string_view name) {
        olvex::LocalFileVersion found;
        if (name.size() % 2 == 0)
            found.version = static_cast<std::int32_t>(seed);
        return found;
    };
    sources.file_exists = [seed](const std::string& path) { return (path.size() + seed) % 3 != 0; };
    sources.plan_deltas = [seed](const olvex::UpdateControlRecord& entry,
                                 std::uint64_t whole) -> std::optional<olvex::DeltaPlan> {
        if (seed % 2 == 0)
            return std::nullopt;
        olvex::DeltaPlan plan;
        for (const char* name : {"qzfile1.qzu", "qzinfo1.qzu", "qzloc1.qzu"}) {
            olvex::UpdateControlRecord delta = entry;
            delta.file_name = name;
            delta.type = olvex::kUpdateDatDelta;
            plan.files.push_back(delta);
        }
        return plan;
    };
    const auto plan = olvex::PlanUpdates(control.entries, "C:\\app", sources);
    Check(plan.count == plan.pending.size());
    std::uint64_t bytes = 0;
    for (const auto& entry : plan.pending) {
        Check(!olvex::IsDeltaIndexName(entry.file_name));
        Check(olvex::IsSafeUpdateFileName(entry.file_name));
        bytes += entry.size;
    }
    Check(bytes == plan.bytes);
}

// A download name read back: a plain file name, and naming it again gives
// a name that reads back the same.
void FuzzDownloadName(std::string_view text) {
    const auto parts = olvex::ParseDownloadFileName(text);
    olvex::DeltaTargetOf(text);
    if (!parts)
        return;
    Check(olvex::IsSafeUpdateFileName(parts->file_name));
    const auto again = olvex::ParseDownloadFileName(
        olvex::DownloadFileName(parts->file_name, parts->version, parts->type));
    Check(again && *again == *parts);
}

void FuzzLocalDatabase(std::string_view text) {
    const auto entries = olvex::ParseLocalUpdateDatabase(text);
    for (const auto& entry : entries)
        Check(!entry.path.empty() && entry.path.size() <= olvex::kMaxLocalUpdatePathChars);
    // What is written reads back the same.
    Check(olvex::ParseLocalUpdateDatabase(olvex::FormatLocalUpdateDatabase(entries)) == entries);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::uint32_t seed = 0;
    for (std::size_t i = 0; i < size && i < 4; ++i)
        seed = (seed << 8) | data[size - 1 - i];
    FuzzControlFile(text);
    FuzzUpdatePlan(olvex::ParseControlFile(text), seed);
    FuzzDeltaIndex(text, seed);
    FuzzDownloadName(text);
    FuzzLocalDatabase(text);
    olvex::IsSafeUpdateFileName(text);
    return 0;
}
