// Other users' registry hives. To scan and clean the registry of users who
// are not logged on, the engine mounts each profile's ntuser.dat under
// HKEY_USERS as "XJHive_" + the user's SID, and unloads it afterwards.
//
// Every hive this service mounts is recorded in a MountedHives list, which
// unloads what it still holds when it goes away: no way out of a scan leaves
// a hive mounted.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace olvex {

inline constexpr char kHiveMountPrefix[] = "XJHive_";

// The hives one caller mounted, in load order. Move-only; the destructor
// unloads every hive still listed.
class MountedHives {
  public:
    MountedHives() = default;
    ~MountedHives();
    MountedHives(MountedHives&& other) noexcept;
    MountedHives& operator=(MountedHives&& other) noexcept;
    MountedHives(const MountedHives&) = delete;
    MountedHives& operator=(const MountedHives&) = delete;

    const std::vector<std::string>& Names() const { return names_; }
    bool Empty() const { return names_.empty(); }
    // Takes charge of a hive mounted under HKEY_USERS\mount_name.
    void Adopt(std::string mount_name);
    // Flushes and unloads every listed hive, all of them even after a
    // failure; true when all unloaded. Hives that would not unload stay
    // listed (the destructor tries them once more).
    bool UnloadAll();

  private:
    std::vector<std::string> names_;
};

// Profile map: SID text -> profile folder, ordered byte-wise by SID.
using ProfileMap = std::map<std::string, std::string>;

// Enables SeBackupPrivilege and SeRestorePrivilege on the process token
// (they stay enabled). False when either could not be enabled.
bool EnableBackupRestorePrivileges();

// The profile folder of one SID from the profile list, environment
// variables expanded. False when the SID has no readable "ProfileImagePath".
bool GetProfileFolderForSid(const std::string& sid, std::string& folder);

// Every profile of the profile list with its folder; empty when the list
// cannot be read. Profiles without a readable folder are left out.
ProfileMap GetUserProfileFolders();

// Mounts folder\ntuser.dat as HKEY_USERS\XJHive_<sid> and adds it to
// `mounted`. True only when this call mounted it: a hive that is there
// already, as XJHive_<sid> or as the logged-on user's own <sid>, is left alone.
bool LoadUserHive(const std::string& sid, const std::string& profile_folder, MountedHives& mounted);

// Mounts the hive of every profile of the profile list that is not mounted
// yet, in SID order, adding each to `mounted`. True when this call mounted at
// least one.
bool LoadAllUserHives(MountedHives& mounted);

// Flushes HKEY_USERS\mount_name and unloads it. True when unloaded.
bool FlushAndUnloadUserHive(const std::string& mount_name);

// mounted.UnloadAll().
bool UnloadAllUserHives(MountedHives& mounted);

// The text between the first and the second backslash of a registry path
// ("HKEY_USERS\XJHive_S-1-5-21-1\Software" gives "XJHive_S-1-5-21-1"). False
// when either backslash is missing.
bool ExtractHiveMountName(std::string_view registry_path, std::string& mount_name);

// For a mount name with the "XJHive_" prefix (exact case) that is not
// mounted: mounts that SID's hive from its profile folder and adds it to
// `mounted`. True only when this call mounted it.
bool EnsureUserHiveLoaded(const std::string& mount_name, MountedHives& mounted);

// The system's message text for the calling thread's last error.
std::string FormatLastErrorMessage();

// Where the profile list is read: the system's ProfileList key (below) unless
// a test replaced it.
struct ProfileListLocation {
    HKEY root = HKEY_LOCAL_MACHINE;
    std::string path = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
};

// Replaces the profile list location for its lifetime (tests only; not
// thread-safe against code that is running at the same time).
class ScopedProfileListLocation {
  public:
    explicit ScopedProfileListLocation(const ProfileListLocation& location);
    ~ScopedProfileListLocation();
    ScopedProfileListLocation(const ScopedProfileListLocation&) = delete;
    ScopedProfileListLocation& operator=(const ScopedProfileListLocation&) = delete;

  private:
    const ProfileListLocation* previous_;
};

}  // namespace olvex
