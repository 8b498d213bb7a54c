#include "olvex/scan/user_hives.h"

#include <atomic>
#include <utility>

#include "olvex/core/registry_key.h"
#include "win/unique.h"

namespace olvex {
namespace {

constexpr char kPrivilegeError[] =
    "\nCould not adjust privileges to allow editing of the registry\n";

std::atomic<const ProfileListLocation*> g_profile_list{nullptr};

const ProfileListLocation& CurrentProfileList() {
    static const ProfileListLocation system_list;
    const ProfileListLocation* replaced = g_profile_list.load();
    return replaced ? *replaced : system_list;
}

void DiagnoseLastError(const char* what) {
    OutputDebugStringA((what + FormatLastErrorMessage()).c_str());
}

bool EnablePrivilege(HANDLE token, const char* name) {
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueA(nullptr, name, &privileges.Privileges[0].Luid)) {
        DiagnoseLastError("\n Error adjusting token privileges:  ");
        return false;
    }
    // Success with ERROR_NOT_ALL_ASSIGNED means the token lacks the right.
    SetLastError(ERROR_SUCCESS);
    AdjustTokenPrivileges(token, FALSE, &privileges, sizeof(privileges), nullptr, nullptr);
    if (GetLastError() != ERROR_SUCCESS) {
        DiagnoseLastError("\nError adjusting token privileges:  ");
        return false;
    }
    return true;
}

std::string ExpandEnvironment(const std::string& text) {
    // The variables can change between the two calls: ask again with the new
    // size. The answer for the ANSI form can be larger than what it writes,
    // so the text ends at its first NUL.
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD needed = ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
        if (needed == 0) {
            return {};
        }
        std::string expanded(needed + 1, '\0');
        const DWORD written = ExpandEnvironmentStringsA(text.c_str(), expanded.data(), needed + 1);
        if (written == 0) {
            return {};
        }
        if (written <= needed + 1) {
            expanded.resize(expanded.find('\0'));
            return expanded;
        }
    }
    return {};
}

std::string HiveFile(const std::string& profile_folder) {
    const bool separated = profile_folder.back() == '\\' || profile_folder.back() == '/';
    return profile_folder + (separated ? "ntuser.dat" : "\\ntuser.dat");
}

}  // namespace

MountedHives::~MountedHives() {
    UnloadAll();
}

MountedHives::MountedHives(MountedHives&& other) noexcept
    : names_(std::exchange(other.names_, {})) {}

MountedHives& MountedHives::operator=(MountedHives&& other) noexcept {
    if (this != &other) {
        UnloadAll();
        names_ = std::exchange(other.names_, {});
    }
    return *this;
}

void MountedHives::Adopt(std::string mount_name) {
    names_.push_back(std::move(mount_name));
}

bool MountedHives::UnloadAll() {
    std::vector<std::string> kept;
    for (auto& name : names_) {
        // A hive someone else unloaded already counts as unloaded.
        if (!FlushAndUnloadUserHive(name) && KeyPresent(HKEY_USERS, name)) {
            kept.push_back(std::move(name));
        }
    }
    names_ = std::move(kept);
    return names_.empty();
}

bool EnableBackupRestorePrivileges() {
    win::UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                          token.put())) {
        DiagnoseLastError("\n Error adjusting token privileges:  ");
        return false;
    }
    return EnablePrivilege(token.get(), SE_RESTORE_NAME) &&
           EnablePrivilege(token.get(), SE_BACKUP_NAME);
}

bool GetProfileFolderForSid(const std::string& sid, std::string& folder) {
    if (sid.empty()) {
        return false;
    }
    const auto& list = CurrentProfileList();
    RegistryKey key;
    if (RegistryKey::Open(list.root, list.path + "\\" + sid, KEY_READ, key) != ERROR_SUCCESS) {
        return false;
    }
    const auto stored = key.GetString(std::string("ProfileImagePath"));
    if (!stored) {
        return false;
    }
    std::string expanded = ExpandEnvironment(*stored);
    if (expanded.empty()) {
        return false;
    }
    folder = std::move(expanded);
    return true;
}

ProfileMap GetUserProfileFolders() {
    ProfileMap profiles;
    const auto& list = CurrentProfileList();
    RegistryKey key;
    if (RegistryKey::Open(list.root, list.path, KEY_READ, key) != ERROR_SUCCESS) {
        return profiles;
    }
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD length = sizeof(name);
        const LONG error =
            RegEnumKeyExA(key.handle(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (error == ERROR_MORE_DATA) {
            continue;  // not a SID
        }
        if (error != ERROR_SUCCESS) {
            break;
        }
        const std::string sid(name, length);
        if (std::string folder; GetProfileFolderForSid(sid, folder)) {
            profiles.emplace(sid, std::move(folder));
        }
    }
    return profiles;
}

bool LoadUserHive(const std::string& sid, const std::string& profile_folder,
                  MountedHives& mounted) {
    if (sid.empty() || profile_folder.empty()) {
        return false;
    }
    const std::string mount_name = kHiveMountPrefix + sid;
    if (KeyPresent(HKEY_USERS, mount_name) || KeyPresent(HKEY_USERS, sid)) {
        return false;
    }
    if (!EnableBackupRestorePrivileges()) {
        OutputDebugStringA(kPrivilegeError);
        return false;
    }
    const LONG error =
        RegLoadKeyA(HKEY_USERS, mount_name.c_str(), HiveFile(profile_folder).c_str());
    if (error != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(error));
        DiagnoseLastError(" * User Profile Load unsuccessful:  ");
        // Wine leaves an empty key behind when it cannot read the file.
        if (KeyPresent(HKEY_USERS, mount_name)) {
            RegUnLoadKeyA(HKEY_USERS, mount_name.c_str());
        }
        return false;
    }
    mounted.Adopt(mount_name);
    return true;
}

bool LoadAllUserHives(MountedHives& mounted) {
    if (!EnableBackupRestorePrivileges()) {
        OutputDebugStringA(kPrivilegeError);
        return false;
    }
    bool any = false;
    for (const auto& [sid, folder] : GetUserProfileFolders()) {
        any = LoadUserHive(sid, folder, mounted) || any;
    }
    return any;
}

bool FlushAndUnloadUserHive(const std::string& mount_name) {
    if (mount_name.empty()) {
        return false;
    }
    {
        RegistryKey key;
        if (RegistryKey::Open(HKEY_USERS, mount_name, KEY_READ, key) == ERROR_FILE_NOT_FOUND) {
            return false;
        }
        // Unloading writes the hive out too; the flush only makes it sooner.
        if (key) {
            RegFlushKey(key.handle());
        }
    }
    const LONG error = RegUnLoadKeyA(HKEY_USERS, mount_name.c_str());
    if (error != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(error));
        DiagnoseLastError("ERROR FLUSHING REGISTRY TO DISK:  ");
        return false;
    }
    return true;
}

bool UnloadAllUserHives(MountedHives& mounted) {
    return mounted.UnloadAll();
}

bool ExtractHiveMountName(std::string_view registry_path, std::string& mount_name) {
    const auto first = registry_path.find('\\');
    if (first == std::string_view::npos) {
        return false;
    }
    const auto second = registry_path.find('\\', first + 1);
    if (second == std::string_view::npos) {
        return false;
    }
    mount_name.assign(registry_path.substr(first + 1, second - first - 1));
    return true;
}

bool EnsureUserHiveLoaded(const std::string& mount_name, MountedHives& mounted) {
    const std::string_view prefix = kHiveMountPrefix;
    if (!mount_name.starts_with(prefix) || KeyPresent(HKEY_USERS, mount_name)) {
        return false;
    }
    const std::string sid = mount_name.substr(prefix.size());
    std::string folder;
    return GetProfileFolderForSid(sid, folder) && LoadUserHive(sid, folder, mounted);
}

std::string FormatLastErrorMessage() {
    const DWORD error = GetLastError();
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
        nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&buffer),
        0, nullptr);
    std::string text = length > 0 && buffer ? std::string(buffer, length) : std::string();
    if (buffer) {
        LocalFree(buffer);
    }
    SetLastError(error);
    return text;
}

ScopedProfileListLocation::ScopedProfileListLocation(const ProfileListLocation& location)
    : previous_(g_profile_list.exchange(&location)) {}

ScopedProfileListLocation::~ScopedProfileListLocation() {
    g_profile_list.store(previous_);
}

}  // namespace olvex
