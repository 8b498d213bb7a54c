// `CWakenorApp`: the background protection program's application object. It
// claims the two start-up mutexes, finds the install folder, tests whether
// the user may change the product's files and key (restricted mode when not),
// keeps the engine DLL current, reads the command line, the proxy settings
// and the main program's settings, and then runs the hidden protection
// window until it closes. It owns what the window, its timer and the
// detection worker share.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>

#include "client/common/activity_log_file.h"
#include "client/common/client_application.h"
#include "client/common/named_mutex.h"
#include "client/common/proxy_settings.h"
#include "client/protect/scan_reminder.h"
#include "client/protect/wakenor_options.h"

namespace olvex::protect {

// The start-up mutexes: either existing at start ends a second instance
// silently; the main program tells from the first whether protection runs.
inline constexpr char kWakenorMutexName[] = "WakenorMAINAPP";
inline constexpr char kRunTagMutexName[] = "QZMCActiveDetection_RunTag";
// Held while either program's Active Protection settings are on screen.
inline constexpr char kSettingsDialogMutexName[] = "QZAPSettingsDialog";

class CWakenorApp final : public ClientApplication {
  public:
    explicit CWakenorApp(HINSTANCE instance);
    ~CWakenorApp() override;

    // `InitInstance`: the program's whole run; it returns when the protection
    // window has closed (or start-up ended early).
    void Run();

    bool restricted() const { return restricted_; }
    // With a trailing backslash.
    const std::string& install_folder() const { return install_folder_; }
    // The install folder's "core": the engine's data folder.
    const std::string& data_folder() const { return data_folder_; }
    const std::string& machine_id() const { return machine_id_; }
    std::int32_t prevalence_research() const { return prevalence_research_; }
    std::int32_t truncate() const { return truncate_; }
    const WakenorCommandLine& command_line() const { return command_line_; }

    // `GetActivityLogPath`: QZv5Log.txt in the product's folder under the
    // common application data, its folders made when missing; false when that
    // fails.
    bool GetActivityLogPath(std::string& path) const;

    // The proxy settings, read and replaced under their lock: the worker
    // reads them while the window's proxy dialog may change them.
    CProxySettings proxy_settings() const;
    void set_proxy_settings(const CProxySettings& settings);

    // Answered by the scanner callback's ShouldScanContinue: set at start,
    // when the window opens and before each background pass; cleared when a
    // foreground scan starts or protection stops.
    std::atomic<bool> scan_may_continue{true};
    // Set by the detection handling for a find in memory, cleared by the
    // worker when it shows the scan advice.
    std::atomic<int> memory_find{0};

    // What the background passes scan: the window's boxes 1000 and 1001,
    // kept current by the window (applied or not); the worker reads them at
    // the start of each pass.
    std::atomic<bool> scan_memory{false};
    std::atomic<bool> scan_cookies{false};

    // The scan reminder's state, kept by the timer; set while the reminder
    // is open, so that ticks meanwhile do not open another.
    ScanReminder reminder;
    bool reminder_shown = false;

    // The program's activity log object and its lock (window thread and
    // worker both use it).
    CLogFile activity_log;
    std::mutex activity_log_lock;

  private:
    bool ClaimStartupMutexes();
    void FindInstallFolder() const;
    bool TestRights();
    bool EnsureEngine();
    bool PrepareSettingsFolder();
    void ReadProgramSettings();
    bool MakeMachineId();
    std::wstring Text(UINT id) const;

    // Closed in the reverse order of their making.
    NamedMutex wakenor_mutex_;
    NamedMutex run_tag_mutex_;
    bool sockets_started_ = false;
    bool com_initialized_ = false;
    bool restricted_ = false;
    std::string install_folder_;
    std::string data_folder_;
    std::string settings_path_;
    WakenorCommandLine command_line_;
    std::int32_t prevalence_research_ = 0;
    std::optional<std::string> settings_machine_id_;
    std::string machine_id_;
    std::int32_t truncate_ = 0;
    mutable std::mutex proxy_lock_;
    CProxySettings proxy_settings_;
};

}  // namespace olvex::protect
