// The order of one pest's removal (the command-line scanner and the main
// program's Scan dialog clean alike), and which of its locations are removed
// at all. Processes go first, so that nothing running holds the files that
// follow, then cookies, files, folders and
// registry items. Scans may report one place more than once (a start-up
// entry names a file as the user's registry has it, the common locations as
// the definitions spell it): locations of one kind whose places are equal
// are removed once, the first reported standing for the others, so that one
// place gets one removal and one log line.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace olvex {

// The removal passes, in their order; kNone is in none of them.
enum class LocationKind { kProcess, kCookie, kFile, kFolder, kRegistryItem, kNone };

struct LocationPlace {
    LocationKind kind = LocationKind::kNone;
    // What names the place, made comparable by the caller (full long paths,
    // one case): two locations of one kind with equal places are one place.
    std::string place;
};

// The indices of the locations to remove, in removal order: by kind in the
// order of the passes, within a kind in the order reported, each place once.
// Locations of no kind are not removed.
std::vector<std::size_t> PlanRemovals(std::span<const LocationPlace> locations);

// The place of a registry item: its root word and key path ("hkey_current_user
// \Software\X": a leading backslash of the path does not count) and, when it
// names one, its value. The caller puts both in one case.
std::string RegistryPlace(std::string_view key, std::string_view value);

}  // namespace olvex
