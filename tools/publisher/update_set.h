// Update sets: what the update server publishes for a definition set. From a
// set of blocks (the base block and its deltas) it makes
// - the three whole definition files, all blocks in each;
// - one delta package per file for each delta block ("deltas/<target>/qzfile.qzu",
//   ".../qzinfo.qzu", ".../qzloc.qzu"), holding that block alone;
// - the delta index "incupdates.inf", its groups newest first, each taking
//   the data version before a delta block to the one after it;
// - the control file "qzmaster.dat" listing the whole files, the delta index
//   and any further files (programs, the engine DLL, other data) with their
//   versions, addresses, sizes and check values.
// Versions of the definition files and the delta index are the data version
// of the newest block.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "olvex/update/delta_index.h"
#include "olvex/update/update_control_file.h"
#include "tools/publisher/definition_set.h"

namespace olvex::tools {

inline constexpr char kControlFileName[] = "qzmaster.dat";

// A file the control file lists beside the definitions.
struct ExtraUpdateFile {
    std::string name;  // the local file name, a plain file name
    std::int32_t type = kUpdateCopyFile;
    std::int32_t version = 1;
    std::vector<std::uint8_t> bytes;
};

struct UpdateSetOptions {
    // Where the set is served: every address is url_base + "/" + the file's path.
    std::string url_base;
    std::vector<ExtraUpdateFile> extras;
};

struct PublishedFile {
    std::string path;  // relative to the set's folder, "/"-separated
    std::vector<std::uint8_t> bytes;
};

struct UpdateSet {
    std::int32_t data_version = 0;  // of the newest block
    // The entries of "qzmaster.dat", in order: "qzfile.dat", "qzinfo.dat",
    // "qzloc.dat", "incupdates.inf", then the extras.
    std::vector<UpdateControlRecord> control_entries;
    // The groups of "incupdates.inf", newest first.
    std::vector<DeltaGroup> delta_groups;
    // Every file but the two texts: whole files, delta packages, extras.
    std::vector<PublishedFile> files;
};

// The texts, CR LF line ends. A test may change the entries or groups (a
// wrong check value, a missing group) before they are rendered.
std::string RenderControlFile(const std::vector<UpdateControlRecord>& entries);
std::string RenderDeltaIndex(const std::vector<DeltaGroup>& groups);

// Nullopt, with the reason in error, when the set cannot be published (no
// block, a block time without a data version, a record that cannot be written).
std::optional<UpdateSet> BuildUpdateSet(const DefinitionSet& set, const UpdateSetOptions& options,
                                        std::string& error);

// Every file of the set with both texts, relative to the set's folder:
// "qzmaster.dat" and "incupdates.inf" first.
std::vector<PublishedFile> UpdateSetFiles(const UpdateSet& set);

// Writes UpdateSetFiles into the folder (made when missing). An error text,
// empty on success.
std::string WriteUpdateSet(const UpdateSet& set, const std::string& out_dir);

}  // namespace olvex::tools
