// Appending downloaded delta packages to the three definition files. Each
// delta file holds whole definition blocks for one of "qzfile.dat",
// "qzinfo.dat" and "qzloc.dat"; a set of deltas applies completely or not at
// all, so the definitions on disk always load.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace olvex {

inline constexpr std::string_view kMissingDeltaFilesText = "Missing delta files.";
inline constexpr std::string_view kCouldNotApplyDeltasText = "Could not apply deltas.";
inline constexpr std::string_view kCouldNotOpenDeltaText = "Could not open delta file.";
inline constexpr std::string_view kCouldNotOpenDatText = "Could not open dat file.";
// nLastError after a failed delta application.
inline constexpr long kDeltaApplyErrorCode = 24;

// A delta package is compressed definition data: far below this.
inline constexpr std::uint64_t kMaxDeltaFileBytes = 64u << 20;

struct DeltaFileRef {
    std::string
        file_name;     // the delta's name, "qzfile4031512.qzu": stem, target version, extension
    std::string path;  // where it was downloaded
};

// The definition files in the order of the stems: "qzfile.dat", "qzinfo.dat", "qzloc.dat".
using DefinitionFilePaths = std::array<std::string, 3>;

struct DeltaApplyResult {
    bool ok = false;
    std::string error;          // one of the texts above, or the block reader's verdict on a delta
    std::uint32_t applied = 0;  // delta files appended (all of them, or 0)
};

// The target version a delta's name carries: the digits that end its name
// before the extension (4031512 for "qzfile4031512.qzu"); 0 when none.
std::uint64_t DeltaTargetOf(std::string_view file_name);

// Applies a set of deltas:
// 1. there must be as many for each definition file (by the stem in the
//    name), and a multiple of three in all; each file's deltas are taken in
//    numeric order of their target versions, and the n-th delta of each file
//    must carry the same target ("Missing delta files." otherwise);
// 2. every delta is read and checked as definition blocks for its file (at
//    least one block, each one whole, checked and decodable) before anything
//    is written;
// 3. each definition file is replaced by itself followed by its deltas, the
//    three as one set (file_set_replace.h): a kill at any moment leaves the
//    old set or the new one for the next load.
// On success the delta files are deleted; on failure nothing changed and
// they stay where they are.
DeltaApplyResult ApplyDefinitionDeltas(std::span<const DeltaFileRef> deltas,
                                       const DefinitionFilePaths& targets);

}  // namespace olvex
