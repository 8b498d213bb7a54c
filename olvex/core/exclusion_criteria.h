// Whether one exclusion covers a detection. An exclusion is an attribute
// list whose attributes are criteria; any one criterion that matches
// excludes:
//   Category  the pest's category contains it
//   PestName  equals the pest's name
//   PVT       equals the pest's PVT number
//   PestId    equals the pest id of the detection
//   Path      the location's File value, or its Folder value, contains it
// Names match without regard to case; values are compared in lower case.
//
// A criterion that carries no information never excludes: an empty or blank
// value, a PVT or pest id that is no number ("None"), a PVT compared with a
// pest whose PVT is unknown (-1), a pest fact the detection does not have.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "olvex/core/location_string.h"
#include "olvex/core/multibyte_text.h"

namespace olvex {

inline constexpr std::string_view kExclusionCategory = "Category";
inline constexpr std::string_view kExclusionPestName = "PestName";
inline constexpr std::string_view kExclusionPvt = "PVT";
inline constexpr std::string_view kExclusionPestId = "PestId";
inline constexpr std::string_view kExclusionPath = "Path";

// No pest: the detection names none, or the pest record is not known.
inline constexpr std::int32_t kNoPestId = -1;
inline constexpr std::int32_t kUnknownPvt = -1;

// What the pest database knows of the detected pest; empty texts and
// kUnknownPvt where it knows nothing (no record, no database).
struct PestFacts {
    std::string category;
    std::string name;
    std::int32_t pvt = kUnknownPvt;
};

struct ExclusionQuery {
    std::int32_t pest_id = kNoPestId;
    PestFacts pest;
    std::string file;    // the location's File value, empty when it has none
    std::string folder;  // the location's Folder value, empty when it has none
};

// The query for a detection at a location string.
ExclusionQuery MakeExclusionQuery(std::int32_t pest_id, PestFacts pest, std::string_view location,
                                  const MultiByteText& mb);

// Whether the exclusion (its pairs) covers the detection.
bool ExclusionCoversDetection(std::span<const AttributePair> exclusion, const ExclusionQuery& query,
                              const MultiByteText& mb);

// Whether the exclusion's Path covers a folder about to be scanned: the
// folder contains the path.
bool ExclusionCoversFolder(std::span<const AttributePair> exclusion, std::string_view folder,
                           const MultiByteText& mb);

}  // namespace olvex
