// The rules of cleaning from the Scan dialog that need no window: the
// removal of one detected pest in its passes with the pest's outcome, which
// pests one root of the results tree stands for (pests that share a name
// share a root), which of its items go once some of them were handled, and
// the address of a pest's page on the pest-information site.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "client/common/removal_plan.h"
#include "client/main/detected_pest.h"

namespace olvex {

// What removing one location asks of the engine.
class PestRemoval {
  public:
    virtual ~PestRemoval() = default;
    // The kind the location object gives the location, and the place it
    // names made comparable (removal_plan.h): two spellings of one place
    // give one text.
    virtual LocationPlace PlaceOf(const std::string& location) = 0;
    // Removes the location (and logs it); true when the engine reported
    // success.
    virtual bool Remove(std::int32_t pest_id, const std::string& location, LocationKind kind) = 0;
};

// Removes the pest's locations by kind in the order of the passes, a place
// reported twice (in any spelling) once; locations of no kind are passed over. True
// only when every location handled was removed: a pest that keeps one stays
// listed. The other locations are still handled after a failure.
bool RemoveDetectedPest(const DetectedPest& pest, PestRemoval& removal);

// The activity-log action of a removed location: cookies are deleted, not
// kept, everything else is quarantined.
inline constexpr unsigned kActionDeleted = 189;
inline constexpr unsigned kActionQuarantined = 190;
inline constexpr unsigned kActionExcluded = 337;
unsigned RemovalActionId(LocationKind kind);

// The pests one root stands for: the distinct ids of its children in their
// order, the root's own id first when it has no children. The root keeps
// only the first pest's id, so the others are found under it.
std::vector<std::int32_t> PestIdsUnderRoot(std::int32_t root_id,
                                           const std::vector<std::int32_t>& child_ids);

// Once the handled pests have gone: the children that go with them
// (indexes) and whether the root goes too (no child left).
struct RootPruning {
    std::vector<std::size_t> children;
    bool root = false;
};
RootPruning PruneRoot(const std::vector<std::int32_t>& child_ids,
                      const std::vector<std::int32_t>& handled_ids);

// A pest's page name on the pest-information site: lower case, trimmed,
// every character but letters, digits and "@#$&-_" replaced by "_".
std::string PestInfoPageName(std::string_view pest_name);
// base + group + "/" + page name + ".asp"; the group is the page name's
// first letter, "other" for anything else (an empty name too).
std::string PestInfoAddress(std::string_view base, std::string_view pest_name);

}  // namespace olvex
