#include "olvex/update/update_plan.h"

#include <array>

namespace olvex {
namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    const auto lower = [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    };
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

constexpr std::array<std::string_view, 3> kDefinitionFileNames = {"qzfile.dat", "qzinfo.dat",
                                                                  "qzloc.dat"};

// Copies, definition files and the engine DLL are files in place, so a missing
// one is due whatever its version says. Programs run from the temporary
// folder and the kinds that are only recorded leave no file behind: their
// version alone decides, so that they are not fetched and run again.
bool InstalledInPlace(const UpdateControlRecord& entry) {
    return entry.type == kUpdateCopyFile || entry.type == kUpdateDatDelta ||
           entry.type == kUpdateEngineDll || IsDefinitionFileName(entry.file_name);
}

}  // namespace

bool IsDefinitionFileName(std::string_view file_name) {
    for (const auto name : kDefinitionFileNames) {
        if (EqualsIgnoringCase(file_name, name))
            return true;
    }
    return false;
}

bool IsDeltaIndexName(std::string_view file_name) {
    return EqualsIgnoringCase(file_name, kDeltaIndexEntryName);
}

std::string LocalPathOf(std::string_view file_name, const LocalFileVersion& installed,
                        const std::string& app_folder) {
    if (!installed.path.empty())
        return installed.path;
    std::string path = app_folder;
    path += '\\';
    path += file_name;
    return path;
}

UpdatePlan PlanUpdates(std::span<const UpdateControlRecord> entries, const std::string& app_folder,
                       const UpdatePlanSources& sources) {
    UpdatePlan plan;
    std::vector<UpdateControlRecord> definitions;
    std::uint64_t whole_file_bytes = 0;
    bool definition_missing = false;
    const UpdateControlRecord* delta_index = nullptr;
    bool definitions_broken = false;
    for (const auto& entry : entries) {
        if (IsDefinitionFileName(entry.file_name)) {
            definitions_broken = sources.definitions_load && !sources.definitions_load();
            break;
        }
    }

    for (const auto& entry : entries) {
        const LocalFileVersion installed = sources.installed(entry.file_name);
        const std::string local = LocalPathOf(entry.file_name, installed, app_folder);
        const bool exists = !InstalledInPlace(entry) ||
                            (sources.file_exists(local) &&
                             !(definitions_broken && IsDefinitionFileName(entry.file_name)));
        if (entry.version <= installed.version && exists)
            continue;
        if (IsDefinitionFileName(entry.file_name)) {
            definitions.push_back(entry);
            whole_file_bytes += entry.size;
            definition_missing = definition_missing || !exists;
        } else if (IsDeltaIndexName(entry.file_name)) {
            if (!delta_index)
                delta_index = &entry;
        } else {
            plan.pending.push_back(entry);
        }
    }

    if (!definitions.empty()) {
        std::optional<DeltaPlan> deltas;
        if (delta_index && !definition_missing && sources.plan_deltas)
            deltas = sources.plan_deltas(*delta_index, whole_file_bytes);
        auto& chosen = deltas ? deltas->files : definitions;
        plan.deltas = deltas.has_value();
        for (auto& record : chosen)
            plan.pending.push_back(std::move(record));
    }
    plan.count = static_cast<std::uint32_t>(plan.pending.size());
    for (const auto& record : plan.pending)
        plan.bytes += record.size;
    return plan;
}

}  // namespace olvex
