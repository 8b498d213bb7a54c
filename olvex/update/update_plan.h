// What CheckForUpdates decides from the control file: which entries are
// newer than the installed files, and whether the three definition files
// come as delta packages or as whole files.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "olvex/update/delta_index.h"
#include "olvex/update/local_update_database.h"
#include "olvex/update/update_control_file.h"

namespace olvex {

// "qzfile.dat", "qzinfo.dat" or "qzloc.dat", in any case.
bool IsDefinitionFileName(std::string_view file_name);
// "incupdates.inf", in any case.
bool IsDeltaIndexName(std::string_view file_name);

// Where an entry's file is installed: the path the local update database
// records for it, or the application folder and its name.
std::string LocalPathOf(std::string_view file_name, const LocalFileVersion& installed,
                        const std::string& app_folder);

struct UpdatePlan {
    std::vector<UpdateControlRecord> pending;  // in the order they are downloaded and applied
    std::uint32_t count = 0;                   // always pending.size()
    std::uint64_t bytes = 0;                   // always the sizes of the pending entries
    bool deltas = false;                       // the definition files come as deltas
};

struct UpdatePlanSources {
    // The installed version of a file (-1 when not listed) and its path.
    std::function<LocalFileVersion(std::string_view file_name)> installed;
    std::function<bool(const std::string& path)> file_exists;
    // The delta route for the definition files from the delta index entry,
    // within the whole files' byte total; nullopt sends the whole files.
    std::function<std::optional<DeltaPlan>(const UpdateControlRecord& delta_index_entry,
                                           std::uint64_t whole_file_bytes)>
        plan_deltas;
    // Whether the installed definition files load; asked only when the
    // control file lists one of them (null: taken as loading). A set that
    // does not load is replaced by whole files, whatever its versions say.
    std::function<bool()> definitions_load;
};

// An entry is needed when its version is above the installed one or, for a
// file installed in place (a copy, a definition file, the engine DLL), its
// local file is missing; programs and the kinds that are only recorded leave
// no file, so their version alone decides. Needed entries other than the definition files and
// the delta index are pending in control-file order. The needed definition
// files follow them: as the delta files of plan_deltas, when there is a delta
// index entry, none of them is missing locally and plan_deltas finds a chain;
// otherwise as the whole files. The delta index entry itself is never
// pending. The delta route is weighed once the whole control file has been
// read, so the order of its entries does not matter. Installed definition
// files that do not load count as missing.
UpdatePlan PlanUpdates(std::span<const UpdateControlRecord> entries, const std::string& app_folder,
                       const UpdatePlanSources& sources);

}  // namespace olvex
