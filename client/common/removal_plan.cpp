#include "client/common/removal_plan.h"

#include <set>

namespace olvex {

std::vector<std::size_t> PlanRemovals(std::span<const LocationPlace> locations) {
    static constexpr LocationKind kPasses[] = {LocationKind::kProcess, LocationKind::kCookie,
                                               LocationKind::kFile, LocationKind::kFolder,
                                               LocationKind::kRegistryItem};
    std::vector<std::size_t> order;
    for (const LocationKind pass : kPasses) {
        std::set<std::string_view> seen;
        for (std::size_t i = 0; i < locations.size(); ++i) {
            if (locations[i].kind == pass && seen.insert(locations[i].place).second)
                order.push_back(i);
        }
    }
    return order;
}

std::string RegistryPlace(std::string_view key, std::string_view value) {
    std::string_view root = key;
    std::string_view path;
    if (const auto blank = key.find(' '); blank != std::string_view::npos) {
        root = key.substr(0, blank);
        path = key.substr(blank + 1);
    }
    while (!path.empty() && path.front() == '\\')
        path.remove_prefix(1);
    std::string place = std::string(root) + " \\" + std::string(path);
    // A value is a place of its own inside the key; a NUL cannot be in a
    // key's name, so the two parts cannot run into each other.
    if (!value.empty()) {
        place += '\0';
        place += value;
    }
    return place;
}

}  // namespace olvex
