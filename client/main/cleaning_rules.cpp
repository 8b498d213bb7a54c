#include "client/main/cleaning_rules.h"

#include <algorithm>

namespace olvex {

bool RemoveDetectedPest(const DetectedPest& pest, PestRemoval& removal) {
    std::vector<LocationPlace> places;
    places.reserve(pest.locations.size());
    for (const std::string& location : pest.locations)
        places.push_back(removal.PlaceOf(location));
    bool all_removed = true;
    for (const std::size_t index : PlanRemovals(places)) {
        if (!removal.Remove(pest.pest_id, pest.locations[index], places[index].kind))
            all_removed = false;
    }
    return all_removed;
}

unsigned RemovalActionId(LocationKind kind) {
    return kind == LocationKind::kCookie ? kActionDeleted : kActionQuarantined;
}

std::vector<std::int32_t> PestIdsUnderRoot(std::int32_t root_id,
                                           const std::vector<std::int32_t>& child_ids) {
    std::vector<std::int32_t> ids;
    if (child_ids.empty())
        ids.push_back(root_id);
    for (const std::int32_t id : child_ids) {
        if (std::find(ids.begin(), ids.end(), id) == ids.end())
            ids.push_back(id);
    }
    return ids;
}

RootPruning PruneRoot(const std::vector<std::int32_t>& child_ids,
                      const std::vector<std::int32_t>& handled_ids) {
    RootPruning pruning;
    for (std::size_t i = 0; i < child_ids.size(); ++i) {
        if (std::find(handled_ids.begin(), handled_ids.end(), child_ids[i]) != handled_ids.end())
            pruning.children.push_back(i);
    }
    pruning.root = pruning.children.size() == child_ids.size() && !handled_ids.empty();
    return pruning;
}

std::string PestInfoPageName(std::string_view pest_name) {
    constexpr std::string_view kBlanks = " \t\r\n\v\f";
    const std::size_t first = pest_name.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    const std::size_t last = pest_name.find_last_not_of(kBlanks);
    std::string page(pest_name.substr(first, last - first + 1));
    constexpr std::string_view kKept = "abcdefghijklmnopqrstuvwxyz0123456789@#$&-_";
    for (char& c : page) {
        // Only ASCII letters are lowered: the page names are plain ASCII.
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (kKept.find(c) == std::string_view::npos)
            c = '_';
    }
    return page;
}

std::string PestInfoAddress(std::string_view base, std::string_view pest_name) {
    const std::string page = PestInfoPageName(pest_name);
    std::string group = "other";
    if (!page.empty() && page.front() >= 'a' && page.front() <= 'z')
        group = std::string(1, page.front());
    return std::string(base) + group + "/" + page + ".asp";
}

}  // namespace olvex
