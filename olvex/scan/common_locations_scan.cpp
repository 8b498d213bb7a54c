#include "olvex/scan/common_locations_scan.h"

#include <set>
#include <vector>

#include "olvex/core/location_builder.h"

namespace olvex {
namespace {

constexpr std::string_view kUserProfileVariable = "%USERPROFILE%";

// Where needle (lower-case) first occurs in lowered at a character start.
std::optional<std::size_t> FindAtCharacter(std::string_view lowered, std::string_view needle,
                                           const MultiByteText& mb) {
    for (std::size_t at = 0; at + needle.size() <= lowered.size();
         at += mb.CharLength(lowered, at)) {
        if (lowered.compare(at, needle.size(), needle) == 0)
            return at;
    }
    return std::nullopt;
}

std::optional<std::string> LocationOf(const DatPathLocation& entry, std::string_view path,
                                      const MultiByteText& mb) {
    return entry.is_folder ? BuildFolderLocation(path, mb) : BuildFileLocation(path, mb);
}

// A profile folder without one trailing backslash, so that the folder and a
// value beginning with a backslash join with one.
std::string WithoutTrailingBackslash(std::string folder, const MultiByteText& mb) {
    if (!folder.empty() && folder.back() == '\\' &&
        mb.EndsOnCharBoundary(std::string_view(folder).substr(0, folder.size() - 1)))
        folder.pop_back();
    return folder;
}

class AllUsersScan {
  public:
    AllUsersScan(const CDatDatabase& database, PathProbe& probe, AllUsersPlaces& places,
                 ScanReporter& reporter)
        : database_(database),
          probe_(probe),
          places_(places),
          reporter_(reporter),
          mb_(database.text()),
          profiles_(places.ProfileFolders()) {}

    // False when a path refused access.
    bool Location(const DatPathLocation& entry) {
        const auto macro = FindProfileMacro(entry.path, mb_);
        if (!macro)
            return Check(entry, database_.ExpandPathMacros(entry.path));
        const ProfileMacro& which = kProfileMacros[macro->index];
        const std::string rest = entry.path.substr(macro->position + which.macro.size());
        // The same path is checked once, however many profiles lead to it.
        std::set<std::string> checked;
        for (const auto& [sid, profile] : profiles_) {
            const auto folder = FolderFor(which, profile);
            if (!folder)
                continue;
            std::string path = *folder + rest;
            if (!checked.insert(mb_.Lower(path)).second)
                continue;
            if (!Check(entry, path))
                return false;
        }
        return true;
    }

  private:
    // The macro's folder in one profile; nullopt when the current user's
    // settings do not name it.
    std::optional<std::string> FolderFor(const ProfileMacro& which, const std::string& profile) {
        const std::string base = WithoutTrailingBackslash(profile, mb_);
        if (which.shell_folder_value.empty())
            return base;
        const auto value = places_.UserShellFolder(which.shell_folder_value);
        if (!value)
            return std::nullopt;
        if (auto relative = ProfileRelativePart(*value, mb_))
            return base + *relative;
        // A folder outside the profiles is the same for every user.
        return places_.ExpandEnvironment(*value);
    }

    // Reports the location when the path exists; false when it refused access.
    bool Check(const DatPathLocation& entry, const std::string& path) {
        const auto location = LocationOf(entry, path, mb_);
        if (!location)
            return true;
        reporter_.StartingItem(*location);
        switch (probe_.Probe(path)) {
            case PathState::kAccessDenied:
                return false;
            case PathState::kPresent:
                reporter_.DetectWithExclusionCheck(entry.pest_id, *location);
                break;
            case PathState::kMissing:
                break;
        }
        reporter_.FinishedItem(*location);
        return true;
    }

    const CDatDatabase& database_;
    PathProbe& probe_;
    AllUsersPlaces& places_;
    ScanReporter& reporter_;
    const MultiByteText& mb_;
    const std::map<std::string, std::string> profiles_;
};

}  // namespace

std::optional<ProfileMacroMatch> FindProfileMacro(std::string_view path, const MultiByteText& mb) {
    const std::string lowered = mb.Lower(path);
    for (std::size_t i = 0; i < kProfileMacros.size(); ++i) {
        if (const auto at = FindAtCharacter(lowered, mb.Lower(kProfileMacros[i].macro), mb))
            return ProfileMacroMatch{i, *at};
    }
    return std::nullopt;
}

std::optional<std::string> ProfileRelativePart(std::string_view value, const MultiByteText& mb) {
    if (value.size() < kUserProfileVariable.size() ||
        mb.Lower(value.substr(0, kUserProfileVariable.size())) != mb.Lower(kUserProfileVariable))
        return std::nullopt;
    return std::string(value.substr(kUserProfileVariable.size()));
}

void ScanCommonLocations(const CDatDatabase& database, PathProbe& probe, ScanReporter& reporter,
                         const std::function<void()>& startup_entries) {
    const MultiByteText& mb = database.text();
    reporter.StartingItem(kCommonLocationsSection);
    startup_entries();
    bool stopped = false;
    for (DatCursor cursor = database.FirstPathLocation(); !cursor.AtEnd(); cursor.Advance()) {
        if (!reporter.ShouldScanContinue()) {
            stopped = true;
            break;
        }
        const auto entry = cursor.GetPathLocation();
        if (!entry)
            continue;
        const std::string path = database.ExpandPathMacros(entry->path);
        const auto location = LocationOf(*entry, path, mb);
        if (!location || reporter.IsExcludedFromScan(entry->pest_id, *location))
            continue;
        reporter.StartingItem(*location);
        if (probe.Probe(path) == PathState::kPresent)
            reporter.DetectPest(entry->pest_id, *location);
        reporter.FinishedItem(*location);
    }
    reporter.FinishedItem(kCommonLocationsSection);
    if (stopped)
        reporter.ReportAborted();
}

bool ScanCommonLocationsAllUsers(const CDatDatabase& database, PathProbe& probe,
                                 AllUsersPlaces& places, ScanReporter& reporter,
                                 const std::function<void()>& startup_entries) {
    reporter.StartingItem(kCommonLocationsSection);
    startup_entries();
    AllUsersScan scan(database, probe, places, reporter);
    bool stopped = false;
    for (DatCursor cursor = database.FirstPathLocation(); !cursor.AtEnd(); cursor.Advance()) {
        if (!reporter.ShouldScanContinue()) {
            stopped = true;
            break;
        }
        const auto entry = cursor.GetPathLocation();
        if (entry && !scan.Location(*entry))
            return false;
    }
    reporter.FinishedItem(kCommonLocationsSection);
    if (stopped)
        reporter.ReportAborted();
    return true;
}

}  // namespace olvex
