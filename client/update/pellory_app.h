// The updater Pellory.exe: its start-up checks, the mode a start runs in, and
// what the whole program shares (install folder, proxy settings, activity
// log, the restricted flag, the updater's settings file).
//
//   Pellory.exe [-autoupdate | /installupdate | /noninteractive]
//
// Without an option it shows its main window; the background protection
// starts it daily with "-autoupdate" and setup with "/noninteractive".
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "client/common/activity_log_file.h"
#include "client/common/client_application.h"
#include "client/common/named_mutex.h"
#include "client/common/program_launcher.h"
#include "client/common/proxy_settings.h"
#include "client/update/updater_options.h"

namespace olvex {

inline constexpr char kPelloryInstanceMutexName[] = "GorsewatchConsumerUpdaterMAINAPP";
inline constexpr char kMainProgramTitle[] = "Kelvan Gorsewatch by Brackwith";
inline constexpr char kUpdateUtilityName[] = "Dunmere.exe";
// How long a run that records its update waits for the update utility to
// apply it: the utility's every wait is bounded well within this.
inline constexpr DWORD kUpdateUtilityWaitMs = 20 * 60 * 1000;

class CPelloryApp {
  public:
    explicit CPelloryApp(HINSTANCE instance);
    ~CPelloryApp();
    CPelloryApp(const CPelloryApp&) = delete;
    CPelloryApp& operator=(const CPelloryApp&) = delete;

    // The whole run: start-up, then the mode's work.
    void Run(const std::vector<std::string>& parameters);

    // The download window for a silent or prompted update; true when its
    // check for updates was done and no download failed.
    bool RunUpdate();
    // The hidden download window that starts the update utility itself.
    bool RunAutoApplyUpdate();

    bool restricted() const { return restricted_; }
    bool silent() const { return silent_; }
    bool install_update() const { return install_update_; }
    const std::string& install_folder() const { return install_folder_; }
    const std::string& product_folder() const { return product_folder_; }
    CProxySettings& proxy_settings() { return proxy_settings_; }
    CLogFile& log() { return log_; }
    ClientApplication& application() { return app_; }

    // Texts of the string table and message boxes with the product's title.
    std::wstring Text(UINT id) const { return app_.LoadResourceString(id); }
    void ShowMessage(const std::wstring& text, HWND owner = nullptr) const;
    void ShowResourceMessage(UINT id, HWND owner = nullptr) const;
    // A problem of the start-up or the settings: a message box, or in a run
    // with an option (nobody to answer it) a line in the activity log.
    void ReportProblem(const std::wstring& text, HWND owner = nullptr) const;
    // The problem as an "Update problem" line in the activity log (and the
    // debug output), never a box.
    void LogProblem(const std::wstring& text) const;

    // "qzv5upd.ini" in the product folder (made when missing): read with up
    // to 5 attempts, the failure reported after the last unless restricted.
    UpdaterSettings LoadSettings(HWND owner = nullptr) const;
    // Written afresh with up to 5 attempts, the failure reported after the last.
    void SaveSettings(const UpdaterSettings& settings, HWND owner = nullptr) const;

    // Starts the update utility (with "/installupdate" when this run got it).
    void StartUpdateUtility();
    // True unless the update utility was started and did not apply
    // everything: waits for it to end (an update counts as done only once
    // its files are in place).
    bool UtilityApplied();

    // Seconds since 1970.
    static std::int64_t Now();

  private:
    bool StartUp(const std::vector<std::string>& parameters);
    bool CheckWriteAccess();
    bool EnsureEngine();
    bool PrepareProductFolder();
    std::string SettingsFolder(HWND owner) const;

    ClientApplication app_;
    bool restricted_ = false;
    bool install_update_ = false;
    bool silent_ = false;
    bool sockets_ = false;
    bool com_ = false;
    std::string install_folder_;
    std::string product_folder_;
    CProxySettings proxy_settings_;
    mutable CLogFile log_;  // also written by the const settings helpers
    PelloryCommandLine command_line_;
    NamedMutex pest_activity_;
    std::optional<StartedProgram> utility_;
};

}  // namespace olvex
