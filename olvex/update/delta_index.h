// The delta index: the text behind the URL of the control file's
// "incupdates.inf" entry. It lists groups of delta packages for the three
// definition files, newest first; each group takes the definition data from
// its base version to its target version with one delta file for each of
// "qzfile.dat", "qzinfo.dat" and "qzloc.dat".
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "olvex/update/update_control_file.h"

namespace olvex {

inline constexpr std::size_t kDeltaHeaderLines = 9;
inline constexpr std::size_t kDeltaGroupCountLine = 8;  // 1-based, in the header
inline constexpr std::size_t kDeltaGroupLines = 12;
inline constexpr std::size_t kDeltaFilesPerGroup = 3;
inline constexpr std::size_t kMaxDeltaIndexBytes = 1024 * 1024;

// The stems the three delta files of a group carry in their names.
inline constexpr std::array<std::string_view, kDeltaFilesPerGroup> kDeltaStems = {
    "qzfile", "qzinfo", "qzloc"};

// Which of kDeltaStems a delta file name carries; nullopt for none or more
// than one.
std::optional<std::size_t> DeltaStemOf(std::string_view name);

struct DeltaFile {
    std::string url;
    std::uint32_t check_value = 0;
    std::uint32_t size = 0;
    bool operator==(const DeltaFile&) const = default;
};

struct DeltaGroup {
    std::int32_t base_version = 0;
    std::int32_t target_version = 0;
    std::uint32_t size = 0;  // the three files together, as the index says
    std::array<DeltaFile, kDeltaFilesPerGroup> files;
    bool operator==(const DeltaGroup&) const = default;
};

struct DeltaIndex {
    std::int32_t declared_groups = 0;  // header line 8
    std::vector<DeltaGroup> groups;    // the whole groups read, in file order
    // Fewer groups than declared could be read: the text ended, or a group
    // held a URL that is too long or not text (reading stops there).
    bool cut_short = false;
};

enum class DeltaIndexError {
    kNone = 0,
    kTooLarge,     // more than kMaxDeltaIndexBytes
    kShortHeader,  // fewer than nine lines
};

struct DeltaIndexParse {
    DeltaIndexError error = DeltaIndexError::kNone;
    DeltaIndex index;
    explicit operator bool() const { return error == DeltaIndexError::kNone; }
};

// Lines are split as in the control file (SplitUpdateTextLines); numbers are
// read like atoi (saturated); a group count below 1 gives no groups.
DeltaIndexParse ParseDeltaIndex(std::string_view text);
DeltaIndexParse ParseDeltaIndex(std::span<const std::uint8_t> bytes);

// The local file name of a delta file: the last element of its URL (after the
// last "/") with the decimal target version inserted before its last ".".
// Nullopt when the element has no "." or the result is not a plain file name.
std::optional<std::string> DeltaFileName(std::string_view url, std::int32_t target_version);

// What the updater knows when it weighs the delta route.
struct DeltaChainInput {
    std::int32_t installed_version = 0;      // the definition data version V
    std::uint64_t appended_delta_bytes = 0;  // delta blocks already in the files, D
    std::uint32_t max_delta_bytes = 0;       // the updater's MaxDeltaBytes
    std::uint64_t whole_file_bytes = 0;      // the three whole files together
    std::int32_t delta_entry_version = 0;    // version of the "incupdates.inf" entry
};

struct DeltaPlan {
    std::vector<UpdateControlRecord> files;  // type 3, three per group, in index order
    std::uint64_t bytes = 0;                 // the groups' sizes together
};

// Follows the chain of groups from the newest down to the installed version.
// For group k (S = the sizes of groups 0..k): its base below V fails; the
// budget fails when max_delta_bytes < D + S or whole_file_bytes < S; its three
// files become type-3 records (version = delta_entry_version, file name by
// DeltaFileName); a base equal to V ends the walk with the plan. Running out
// of groups fails. Also failing, so that the updater takes whole files rather
// than deltas that cannot be applied: a group whose target is not the base of
// the group before it (a gap in the chain), and a group whose three file names
// are not one each of the stems, or not usable as file names.
std::optional<DeltaPlan> PlanDeltaChain(const DeltaIndex& index, const DeltaChainInput& input);

}  // namespace olvex
