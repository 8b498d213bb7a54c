// Where the cookie, common-location and start-up entry scans look on this
// machine: the registry roots they read fixed keys under (the Run keys, the
// "Shell Folders" and "User Shell Folders" keys, SystemRoot), the current
// user's cookie folder and the autoexec file. Tests replace them with keys
// under a key of their own and scratch folders (ScopedScanPlaces); the
// profile list has its own seam (user_hives.h).
//
// Also the Windows side of those scans: the path probe, the machine as the
// start-up entry scan reads it, and what the all-users common-location scan
// asks.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "olvex/core/registry_key.h"
#include "olvex/scan/autorun_scan.h"
#include "olvex/scan/common_locations_scan.h"
#include "olvex/scan/path_probe.h"

namespace olvex {

inline constexpr char kUserShellFoldersKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

struct ScanPlaces {
    HKEY local_machine = HKEY_LOCAL_MACHINE;
    HKEY current_user = HKEY_CURRENT_USER;
    HKEY classes_root = HKEY_CLASSES_ROOT;
    // The current user's cookie folder; unset: the shell's (CSIDL_COOKIES).
    std::function<std::optional<std::string>()> cookie_folder;
    std::string autoexec_path = "C:\\autoexec.bat";
};

// The places the scans use: the system's unless a test replaced them.
const ScanPlaces& CurrentScanPlaces();

// Replaces the places for its lifetime (tests only; not thread-safe against
// scans that are running at the same time).
class ScopedScanPlaces {
  public:
    explicit ScopedScanPlaces(const ScanPlaces& places);
    ~ScopedScanPlaces();
    ScopedScanPlaces(const ScopedScanPlaces&) = delete;
    ScopedScanPlaces& operator=(const ScopedScanPlaces&) = delete;

  private:
    const ScanPlaces* previous_;
};

// The current user's cookie folder; nullopt when it cannot be had.
std::optional<std::string> CurrentUserCookieFolder(const ScanPlaces& places);

// Environment variables of a text expanded (ExpandEnvironmentStringsA);
// nullopt when that fails.
std::optional<std::string> ExpandEnvironmentText(const std::string& text);

// GetFileAttributesA, with a refusal told apart.
class WindowsPathProbe final : public PathProbe {
  public:
    PathState Probe(const std::string& path) override;
};

class WindowsAutorunSystem final : public AutorunSystem {
  public:
    explicit WindowsAutorunSystem(const ScanPlaces& places) : places_(places) {}
    bool KeyOpens(AutorunRoot root, const std::string& key) override;
    std::optional<std::string> StringValue(AutorunRoot root, const std::string& key,
                                           std::string_view name) override;
    std::optional<std::vector<AutorunValue>> Values(AutorunRoot root,
                                                    const std::string& key) override;
    std::vector<std::string> UserHives() override;
    std::string IniEntry(const std::string& file, std::string_view section,
                         std::string_view key) override;
    bool ReadLines(const std::string& path,
                   const std::function<bool(std::string_view line)>& each) override;
    bool Exists(const std::string& path) override;
    std::optional<std::string> FindOnSearchPath(const std::string& name) override;
    std::optional<std::string> ExpandEnvironment(const std::string& text) override;

  private:
    HKEY Root(AutorunRoot root) const;
    const ScanPlaces& places_;
};

// The profile list, and the current user's "User Shell Folders" key, opened
// once for the scan.
class WindowsAllUsersPlaces final : public AllUsersPlaces {
  public:
    explicit WindowsAllUsersPlaces(const ScanPlaces& places);
    std::map<std::string, std::string> ProfileFolders() override;
    std::optional<std::string> UserShellFolder(std::string_view name) override;
    std::optional<std::string> ExpandEnvironment(const std::string& text) override;

  private:
    RegistryKey user_shell_folders_;
};

}  // namespace olvex
