// The command-line scanner's whole run: it checks that it is alone and may
// write, keeps the engine DLL current, prepares its folders, log and
// settings, creates six engine objects, scans memory, the registry, cookies
// and the common locations, writes the scan history, applies one action to
// every pest found and writes the activity log.
//
// While it holds the activity mutexes that keep other programs' scans and
// cleans away, it never waits on a message box: messages raised then are
// shown only after the mutexes are released. A location that cannot be
// removed shows none at all; the exit code says so.
//
// The activity log is written as the run goes, so that a run ended from
// outside (by the update utility, a shutdown or a kill) keeps what it did:
// the detections before the first removal, each removal's line right after
// the removal.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "client/common/detection_list.h"
#include "client/cli/marvolt_options.h"
#include "client/cli/scanner_callback.h"
#include "client/common/activity_log_file.h"
#include "client/common/client_application.h"
#include "client/common/proxy_settings.h"
#include "olvex/com/com_ptr.h"
#include "olvex/olvex.h"

namespace olvex {

// The exit codes: whether a scan ran and how it went, for the scheduled job
// or script that started the run.
enum MarvoltExitCode : int {
    kExitScanned = 0,      // scanned; everything found was handled and recorded
    kExitNotRemoved = 1,   // scanned; something found could not be removed
    kExitNoScan = 2,       // no scan ran: the program could not start one (the message says why)
    kExitGaveWay = 3,      // no scan ran: another copy, or a scan or clean elsewhere, was running
    kExitNotRecorded = 4,  // scanned and handled, but the activity log or scan history could
                           // not be written in full
};

class CMarvoltApp final : public DetectionHandler {
  public:
    explicit CMarvoltApp(HINSTANCE instance);
    ~CMarvoltApp() override;
    CMarvoltApp(const CMarvoltApp&) = delete;
    CMarvoltApp& operator=(const CMarvoltApp&) = delete;

    // The run; parameters without the program's name. The exit code is a
    // MarvoltExitCode.
    int Run(const std::vector<std::string>& parameters);

    void OnPestDetected(long pest_id, BSTR location) override;

  private:
    bool StartUp(const std::vector<std::string>& parameters);
    bool CheckWriteAccess();
    bool EnsureEngine();
    bool PrepareFolders();
    void LoadSettings();
    bool OpenDocument(const std::string& name);
    void ScanWhileHoldingActivityMutexes();
    bool CreateEngineObjects();
    void ScanAndApplyActions();
    // Removes every place of the pest once; false when one could not be.
    bool RemovePest(const DetectionRecord& record);
    // Writes the pending log lines now; what then goes to the debugger
    // output names the moment.
    void FlushLog(const std::string& moment);
    void ExcludePest(const DetectionRecord& record);
    void WriteScanHistory();

    std::string GetPestName(std::int32_t pest_id);
    std::string GetPestCategory(std::int32_t pest_id);
    std::int32_t GetPvtByLocation(BSTR location);
    std::string GetLocationPath(BSTR location);
    bool LocationIs(BSTR location, HRESULT (STDMETHODCALLTYPE ILocation::*test)(VARIANT_BOOL*));

    // Shows the message now, or after the activity mutexes are released.
    void ShowMessage(const std::wstring& text);
    void ShowResourceMessage(UINT id);
    std::wstring ResourceText(UINT id) const;
    void ShowDeferredMessages();

    ClientApplication app_;
    CCommandLineScannerCallback callback_;
    com::ComPtr<IScanner> scanner_;
    com::ComPtr<IPestDatabase> pest_database_;
    com::ComPtr<IExterminator> exterminator_;
    com::ComPtr<IQuarantine> quarantine_;
    com::ComPtr<IExcluder> excluder_;
    com::ComPtr<ILocation> location_;
    bool com_initialized_ = false;

    CLogFile log_;
    DetectionList detections_;
    bool restricted_ = false;
    MarvoltSettings settings_;
    std::string install_folder_;  // with a trailing backslash
    std::string data_folder_;     // install folder + "core"
    std::string product_folder_;  // with a trailing backslash
    std::string settings_path_;
    CProxySettings proxy_settings_;
    MarvoltAction action_ = MarvoltAction::kQuarantine;
    std::string unknown_text_;
    std::string detected_text_;

    bool scanned_ = false;
    bool gave_way_ = false;
    bool removal_failed_ = false;
    bool record_failed_ = false;
    bool holding_activity_ = false;
    std::vector<std::wstring> deferred_messages_;
};

}  // namespace olvex
