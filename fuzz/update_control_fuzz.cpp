// The updater's server-side texts (control file, delta index) and its local
// update database, from hostile bytes: no read outside the input, no entry
// that names anything but a plain file, and the plan and the database keep
// their invariants.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "olvex/update/delta_index.h"
#include "olvex/update/local_update_database.h"
#include "olvex/update/update_control_file.h"
#include "olvex/update/update_file_name.h"

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
    FuzzDeltaIndex(text, seed);
    FuzzLocalDatabase(text);
    olvex::IsSafeUpdateFileName(text);
    return 0;
}
