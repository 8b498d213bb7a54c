// A quarantine session archive over hostile bytes: the restore plan made
// from its entry comments, and the registry data of each registry entry
// checked against the key its comment names. Every file target the plan
// gives must be an absolute local path, and every step an entry of the
// archive.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "olvex/core/multibyte_text.h"
#include "olvex/remedy/quarantine_paths.h"
#include "olvex/remedy/regedit4.h"
#include "olvex/remedy/session_archive.h"
#include "olvex/zip/zip_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    olvex::ZipBudget budget;
    budget.max_entries = 256;
    budget.max_directory_bytes = 256 * 1024;
    budget.max_entry_bytes = 1 << 20;
    budget.max_total_bytes = 4 << 20;
    olvex::ZipReader reader;
    if (reader.OpenMemory({data, size}, budget) != olvex::ZipError::kNone)
        return 0;
    reader.SetPassword(olvex::kSessionPassword);
    const auto mb = olvex::MultiByteText::SingleByte();
    const auto steps = olvex::PlanSessionRestore(reader, mb);
    std::vector<std::uint8_t> bytes;
    for (const auto& step : steps) {
        if (step.entry >= reader.EntryCount())
            __builtin_trap();
        switch (step.kind) {
            case olvex::SessionRestoreStep::Kind::kFile:
                if (!olvex::IsAbsoluteLocalPath(step.target, mb))
                    __builtin_trap();
                break;
            case olvex::SessionRestoreStep::Kind::kRegistry: {
                if (step.key.empty())
                    __builtin_trap();
                (void)olvex::SplitRegistryKeyText(step.key, mb);
                if (reader.ReadEntry(step.entry, bytes) != olvex::ZipError::kNone)
                    break;
                const std::string_view text(reinterpret_cast<const char*>(bytes.data()),
                                            bytes.size());
                (void)olvex::RegistryContainerStaysUnder(olvex::ParseRegedit4(text), step.key, mb);
                break;
            }
            case olvex::SessionRestoreStep::Kind::kRefused:
                if (step.reason.empty())
                    __builtin_trap();
                break;
        }
    }
    return 0;
}
