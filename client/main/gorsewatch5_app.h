// `CGorsewatch5App`, the main program's application object: the one place
// that owns what the whole program shares. Its start-up settles the install
// folder, keeps the program to one instance, decides whether the user may
// write (else the program only scans: limited rights), makes the product's
// data folders, loads the settings and the machine id, keeps the engine DLL
// current, builds the frame and its three pages, and creates and initialises
// the seven engine objects. Every other part of the program reaches it
// through CGorsewatch5App::Current().
//
// Engine objects may be missing (their creation failed): every use tests
// them. GetPestName and GetPestCategory then give "Unknown", and an action
// that needs them asks RequireEngineObjects, which shows message 127.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "client/common/client_application.h"
#include "client/common/program_settings.h"
#include "client/common/proxy_settings.h"
#include "client/common/shared_log_file.h"
#include "win/unique.h"
#include "client/main/command_line.h"
#include "client/main/detected_pest.h"
#include "client/main/scanner_callback.h"
#include "olvex/com/com_ptr.h"
#include "olvex/olvex.h"

namespace olvex {

class CMainFrame;
class CPage;
class CMainView;
class CScanView;
class CManageView;
class CScanDlg;

class CGorsewatch5App : public ClientApplication {
  public:
    // The single-instance mutex is claimed here, before anything else runs.
    explicit CGorsewatch5App(HINSTANCE instance);
    ~CGorsewatch5App() override;

    // The running application; null when none runs (or it is no main program).
    static CGorsewatch5App* Current();

    // The start-up sequence; false ends the program at once.
    bool InitInstance();
    // Runs the message loop until the frame goes; the exit code.
    int Run();
    // Saves the settings, writes the activity log's pending lines and gives
    // up the engine objects and shared handles; the exit code.
    int ExitInstance();

    // The last step of start-up: creates and initialises the engine objects;
    // failures are shown, never fatal.
    void CreateEngineObjects();
    // Shows page 1 (home), 2 (scan) or 3 (configuration); the page shown
    // before. Any other number changes nothing and gives null.
    CPage* SwitchView(int page);
    // The About command of the pages.
    void OnAppAbout();

    // The Message dialog with a text of the string table or a given one and a
    // sound kind (message_rules.h); returns once the user has closed it. From
    // any thread.
    void ShowMessage(UINT string_id, int sound_kind);
    void ShowMessageText(const std::wstring& text, int sound_kind);
    // The product's data folder (with its final backslash), made when missing;
    // when it cannot be made, shows why (a warning) and gives nothing.
    std::optional<std::string> ProductDataFolderOrWarn();

    // True when all seven engine objects exist; else shows message 127.
    bool RequireEngineObjects();

    // Settings and machine id (qzv5exe.ini, QZGUID.txt), each with up to 5
    // tries. In limited-rights mode nothing is written and a missing file is
    // not made.
    void LoadSettings();
    void SaveSettings();
    void LoadMachineId();
    void SaveMachineId();

    // A pest's name and category from the pest database; "Unknown" without
    // a record or a database.
    std::string GetPestName(std::int32_t pest_id);
    std::string GetPestCategory(std::int32_t pest_id);
    // The index of the pest in the detected-pest list; -1 when not listed.
    int FindDetectedPest(std::int32_t pest_id) const;
    // The background protection's status: "Stopped", "Protecting your
    // computer" or "Active Protection is not protecting your computer.".
    std::wstring GetActiveProtectionStatusText();
    // Makes sure the Task Scheduler runs (m_bTaskSchedulerAvailable).
    void CheckTaskScheduler();

    // Loads the activity log and shortens it when truncate is set; the
    // start-up's maintenance thread.
    void MaintainActivityLog(bool truncate);

    // The names the management dialogs use.
    DWORD m_dwPlatformId = 0;
    BYTE m_bLimitedRights = 0;
    BYTE m_bTaskSchedulerAvailable = 0;

    DWORD major_version() const { return major_version_; }
    DWORD minor_version() const { return minor_version_; }
    // The install folder (the current folder at start-up), ending in a
    // backslash; also the quarantine folder.
    const std::string& install_folder() const { return install_folder_; }
    // The install folder followed by "core": definitions, exclusions, log.
    const std::string& data_folder() const { return data_folder_; }
    const std::string& settings_path() const { return settings_path_; }
    ProgramSettings& settings() { return settings_; }
    SharedLogFile& activity_log() { return activity_log_; }
    CProxySettings& proxy_settings() { return proxy_settings_; }
    CommandLineRequests& requests() { return requests_; }

    IPestDatabase* pest_database() const { return pest_database_.Get(); }
    IExterminator* exterminator() const { return exterminator_.Get(); }
    IQuarantine* quarantine() const { return quarantine_.Get(); }
    IExcluder* excluder() const { return excluder_.Get(); }
    ILocation* location() const { return location_.Get(); }
    IScanner* scanner() const { return scanner_.Get(); }
    IVersionInfo* version_info() const { return version_info_.Get(); }
    CScannerCallback& scanner_callback() { return scanner_callback_; }

    // What the Scan dialog and the sink share.
    std::vector<DetectedPest>& detected_pests() { return detected_pests_; }
    std::vector<std::string>& custom_folders() { return custom_folders_; }
    CScanDlg* open_scan_dialog() const { return open_scan_dialog_; }
    void set_open_scan_dialog(CScanDlg* dialog) { open_scan_dialog_ = dialog; }
    // -1 while a scan may go on, 0 once the user stopped it.
    VARIANT_BOOL continue_scan() const { return continue_scan_.load(); }
    void set_continue_scan(VARIANT_BOOL value) { continue_scan_.store(value); }
    bool exit_requested() const { return exit_requested_; }
    // True once the start-up ran to its end, its messages answered: requests
    // from the command line wait for it.
    bool started() const { return started_; }
    void set_exit_requested(bool requested) { exit_requested_ = requested; }
    // Logical pixels per inch over 96, set by the frame.
    double horizontal_scale() const { return horizontal_scale_; }
    double vertical_scale() const { return vertical_scale_; }

    CMainFrame* frame() const { return frame_.get(); }
    CMainView* home_page() const { return home_page_.get(); }
    CScanView* scan_page() const { return scan_page_.get(); }
    CManageView* configuration_page() const { return configuration_page_.get(); }

  private:
    // Sets limited rights when the program key, the install folder or the
    // common application-data folder cannot be written.
    void CheckWriteAccess(const std::string& common_app_data);
    bool MakeDataFolders();
    bool EnsureMachineId();
    bool EnsureEngine();
    bool ProcessShellCommand(const CGorsewatch5CommandLineInfo& command_line);
    bool CreateFrameAndPages();
    void StartLogMaintenance();
    void ShowMainWindow();
    void ReleaseEngineObjects();
    std::wstring Text(UINT id) const { return LoadResourceString(id); }

    MutexClaim instance_claim_;

    std::string install_folder_ = ".\\";
    std::string data_folder_;
    std::string settings_path_;
    ProgramSettings settings_;
    // A damaged settings file that could not be moved aside: never written over.
    bool settings_file_kept_ = false;
    CommandLineRequests requests_;
    SharedLogFile activity_log_;
    CProxySettings proxy_settings_;
    DWORD major_version_ = 0;
    DWORD minor_version_ = 0;
    double horizontal_scale_ = 1.0;
    double vertical_scale_ = 1.0;

    std::vector<DetectedPest> detected_pests_;
    std::vector<std::string> custom_folders_;
    CScanDlg* open_scan_dialog_ = nullptr;
    std::atomic<VARIANT_BOOL> continue_scan_{VARIANT_TRUE};
    bool exit_requested_ = false;
    bool started_ = false;

    CScannerCallback scanner_callback_;
    com::ComPtr<IPestDatabase> pest_database_;
    com::ComPtr<IExterminator> exterminator_;
    com::ComPtr<IQuarantine> quarantine_;
    com::ComPtr<IExcluder> excluder_;
    com::ComPtr<ILocation> location_;
    com::ComPtr<IScanner> scanner_;
    com::ComPtr<IVersionInfo> version_info_;
    bool com_initialized_ = false;
    bool sockets_initialized_ = false;
    HMODULE rich_edit_ = nullptr;

    win::UniqueHandle log_mutex_;
    std::thread log_maintenance_;

    std::unique_ptr<CMainFrame> frame_;
    std::unique_ptr<CMainView> home_page_;
    std::unique_ptr<CScanView> scan_page_;
    std::unique_ptr<CManageView> configuration_page_;

    // Scanning (scan_dialog.cpp, scan_page.cpp).
  public:
    // The running Scan dialog's worker thread; null while none runs. The
    // frame's close waits for it.
    HANDLE scan_worker() const { return scan_worker_.load(); }
    void set_scan_worker(HANDLE worker) { scan_worker_.store(worker); }
    // Why the scanner cannot scan, with the engine's own words.
    std::wstring ScannerErrorText();
    // The window was closed during a scan: the program ends here, without
    // returning into its destroyed windows.
    [[noreturn]] void EndAfterClosedScan();

  private:
    std::atomic<HANDLE> scan_worker_{nullptr};
};

}  // namespace olvex
