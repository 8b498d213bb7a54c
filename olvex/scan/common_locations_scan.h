// The common locations scan: the files and folders where the pest database
// says pests live (its file and folder locations, path macros expanded), each
// found when it exists. The start-up entries are scanned first, inside the
// "Common Locations" section.
//
// The all-users form repeats every location whose path holds a profile
// macro (%STARTUP%, %COOKIES%, ...) for every user profile, with the folder
// the current user's "User Shell Folders" key gives that macro, taken
// relative to each profile.
#pragma once

#include <array>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "olvex/core/dat_database.h"
#include "olvex/scan/path_probe.h"
#include "olvex/scan/scan_reporter.h"

namespace olvex {

inline constexpr std::string_view kCommonLocationsSection = "Common Locations";

// The macros the all-users form takes relative to each profile, in the order
// they are looked for, with the "User Shell Folders" value naming their
// folder (empty for %PROFILE%, the profile folder itself).
struct ProfileMacro {
    std::string_view macro;
    std::string_view shell_folder_value;
};
inline constexpr std::array<ProfileMacro, 8> kProfileMacros = {{
    {"%ALTSTARTUP%", "Startup"},
    {"%COOKIES%", "Cookies"},
    {"%DESKTOPDIRECTORY%", "Desktop"},
    {"%FAVORITES%", "Favorites"},
    {"%PROFILE%", ""},
    {"%STARTMENU%", "Start Menu"},
    {"%STARTUP%", "Startup"},
    {"%PROGRAMS%", "Programs"},
}};

// The first profile macro a definition path holds (in any case): its index
// in kProfileMacros and where it stands in the path.
struct ProfileMacroMatch {
    std::size_t index = 0;
    std::size_t position = 0;
};
std::optional<ProfileMacroMatch> FindProfileMacro(std::string_view path, const MultiByteText& mb);

// The profile-relative value of a "User Shell Folders" entry: the text after
// a leading "%USERPROFILE%" (any case); nullopt when it does not begin so.
std::optional<std::string> ProfileRelativePart(std::string_view value, const MultiByteText& mb);

// What the all-users form asks of the machine.
class AllUsersPlaces {
  public:
    virtual ~AllUsersPlaces() = default;
    // SID -> profile folder, in SID order.
    virtual std::map<std::string, std::string> ProfileFolders() = 0;
    // A value of the current user's "User Shell Folders" key, as stored
    // (unexpanded); nullopt when the key or the value cannot be read.
    virtual std::optional<std::string> UserShellFolder(std::string_view name) = 0;
    // Environment variables of a text expanded; nullopt when that fails.
    virtual std::optional<std::string> ExpandEnvironment(const std::string& text) = 0;
};

// The plain form: StartingItem "Common Locations", the start-up entries,
// then per location ShouldScanContinue, the exclusion check ("Location ...
// was excluded from scan.") and StartingItem / DetectPest when the path
// exists / FinishedItem; FinishedItem "Common Locations", and ScanAborted
// after it when the user stopped.
void ScanCommonLocations(const CDatDatabase& database, PathProbe& probe, ScanReporter& reporter,
                         const std::function<void()>& startup_entries);

// The all-users form (start-up entries of every user first). A location that
// exists is detected with the exclusion check. False when a path refused
// access: the scan ends there (the caller reports "Access denied.").
bool ScanCommonLocationsAllUsers(const CDatDatabase& database, PathProbe& probe,
                                 AllUsersPlaces& places, ScanReporter& reporter,
                                 const std::function<void()>& startup_entries);

}  // namespace olvex
