// The scanner: scans memory, the registry, cookies, common locations,
// folders and files for known pests, on the caller's thread or on one of its
// own, and reports what it finds to the client's callback.
// COM class Scanner, default interface IScanner.
//
// How a scan is written. A synchronous scan method is
//
//     return RunScan(pvbSuccess, [&](ScanRun& run) { ...the worker... });
//
// RunScan sets the success flag, refuses with "Not initialized." (9) and no
// event at all when the scanner is not initialised, makes a ScanRun (the
// callback, excluder and pest database object of this moment, each held by
// its own reference for the scan's length), runs the worker and sends
// ScanComplete. A worker reports everything through run.reporter()
// (scan_reporter.h): StartingItem / FinishedItem / ShouldScanContinue /
// VerboseInformation / ReportAborted, and findings through
// DetectWithExclusionCheck (or DetectPest after an exclusion check of its
// own, IsExcludedFromScan). Without a callback the findings go to the
// detected-item list. A worker that fails sets last_error_ and answers
// through the success flag it was given.
//
// Files are identified with MakeFileScanner(run): ScanFile / IdentifyFile /
// CheckCookieFile (file_scan.h) over the process-wide pest database with
// this scanner's filters, deep-scan, cookies-as-files and certainty.
//
// An asynchronous form runs the same worker on its own thread with a run
// made by BeginRun() and sends run.reporter().ScanComplete() at the end.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "olvex/com/com_object.h"
#include "olvex/com/com_ptr.h"
#include "olvex/com/last_error.h"
#include "olvex/olvex.h"
#include "olvex/scan/file_scan.h"
#include "olvex/scan/scan_filter.h"
#include "olvex/scan/scan_reporter.h"
#include "olvex/scan/scan_run.h"

namespace olvex {

inline constexpr char kCertaintyConfirmed[] = "Confirmed";

// Errors more than one of the scans leaves in last_error_.
inline constexpr char kCannotDetermineOsText[] = "Couldn't determine OS version.";
inline constexpr long kCannotDetermineOsCode = 17;
inline constexpr char kAccessDeniedText[] = "Access denied.";
inline constexpr long kAccessDeniedCode = 21;
inline constexpr char kUnsupportedOsText[] = "Unsupported OS version.";
inline constexpr long kUnsupportedOsCode = 22;

class CScanner final : public com::DispatchObject<CScanner, IScanner> {
  public:
    CScanner();

    // IScanner, in virtual-table order.
    HRESULT STDMETHODCALLTYPE get_Callback(IScannerCallback** pVal) override;
    HRESULT STDMETHODCALLTYPE put_Callback(IScannerCallback* value) override;
    HRESULT STDMETHODCALLTYPE ScanFolder(BSTR bsFolder, VARIANT_BOOL vbRecurse,
                                         VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE get_bMemScanModules(VARIANT_BOOL* pVal) override;
    HRESULT STDMETHODCALLTYPE put_bMemScanModules(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE ScanMemory(VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE ScanRegistry(VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE ScanCookies(VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE ScanCommonLocations(VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE get_bDeepScan(VARIANT_BOOL* pVal) override;
    HRESULT STDMETHODCALLTYPE put_bDeepScan(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_bsLastError(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE put_bsLastError(BSTR value) override;
    HRESULT STDMETHODCALLTYPE Initialize(BSTR bsDatFolder, VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE IsInitialized(VARIANT_BOOL* pvbInitialized) override;
    HRESULT STDMETHODCALLTYPE get_bsScanFilters(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE put_bsScanFilters(BSTR value) override;
    HRESULT STDMETHODCALLTYPE GetFirstDetectedItem(LONG* pnPestId, BSTR* pbsLocation) override;
    HRESULT STDMETHODCALLTYPE GetNextDetectedItem(LONG* pnPestId, BSTR* pbsLocation) override;
    HRESULT STDMETHODCALLTYPE ScanFile(BSTR bsFile, VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE get_bsLanguage(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE put_bsLanguage(BSTR value) override;
    HRESULT STDMETHODCALLTYPE get_vbDetectCookiesAsFiles(VARIANT_BOOL* pVal) override;
    HRESULT STDMETHODCALLTYPE put_vbDetectCookiesAsFiles(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE ScanFolderAsync(BSTR bsFolder, VARIANT_BOOL vbRecurse,
                                              IThreadControl** pThreadControl) override;
    HRESULT STDMETHODCALLTYPE ScanCookiesAsync(IThreadControl** pThreadControl) override;
    HRESULT STDMETHODCALLTYPE ScanCommonLocationsAsync(IThreadControl** ppThreadControl) override;
    HRESULT STDMETHODCALLTYPE ScanMemoryAsync(IThreadControl** ppThreadControl) override;
    HRESULT STDMETHODCALLTYPE ScanFileAsync(BSTR bsFile, IThreadControl** ppThreadControl) override;
    HRESULT STDMETHODCALLTYPE ScanRegistryAsync(IThreadControl** ppThreadControl) override;
    HRESULT STDMETHODCALLTYPE get_nLastError(LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE InitializeEx(BSTR bsDatPath, BSTR bsExclusionsPath, BSTR bsLogPath,
                                           VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE get_vbLogEnabled(VARIANT_BOOL* pVal) override;
    HRESULT STDMETHODCALLTYPE put_vbLogEnabled(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_vbMemScanModules(VARIANT_BOOL* pVal) override;
    HRESULT STDMETHODCALLTYPE put_vbMemScanModules(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_vbDeepScan(VARIANT_BOOL* pVal) override;
    HRESULT STDMETHODCALLTYPE put_vbDeepScan(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE ScanCookiesEx(BSTR bsCookieFolderPath,
                                            VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE get_vbScanAllUsers(VARIANT_BOOL* pVal) override;
    HRESULT STDMETHODCALLTYPE put_vbScanAllUsers(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE ScanFileEx(BSTR bsFile, VARIANT_BOOL* pvbIsPest,
                                         VARIANT_BOOL* pvbSuccess) override;

  private:
    // --- What scans are written with (see the top of this file) -----------
    using ScanWorker = std::function<void(ScanRun& run)>;
    HRESULT RunScan(VARIANT_BOOL* success, const ScanWorker& worker);
    std::unique_ptr<ScanRun> BeginRun();
    // The file scan over the process-wide database with this scanner's
    // options (copied into the run, which the scanner must not outlive).
    FileScanner MakeFileScanner(ScanRun& run);

    // The workers of this part.
    void DoScanFolder(ScanRun& run, const std::string& folder, bool recurse);
    void DoScanFile(ScanRun& run, const std::string& path);
    bool DoScanFileEx(ScanRun& run, const std::string& path);

    // --- Cookies, common locations and start-up entries, and their
    // asynchronous forms (scanner_location_scans.cpp) -----------------------
    // An all-users scan: refused on systems without other users' profiles
    // (some of them with no ScanComplete). The worker answers whether the
    // client gets ScanComplete.
    using AllUsersWorker = std::function<bool(ScanRun& run, VARIANT_BOOL* success)>;
    HRESULT RunAllUsersScan(VARIANT_BOOL* success, const AllUsersWorker& worker);
    // False when a cookie folder refused access ("Access denied.", 21).
    bool DoScanCookies(ScanRun& run);
    bool DoScanCookiesAllUsers(ScanRun& run);
    void DoScanCookieFolder(ScanRun& run, const std::string& folder);
    bool ScanCookieFolder(ScanRun& run, FileScanner& files, const std::string& folder);
    void DoScanCommonLocations(ScanRun& run);
    // False when a path refused access.
    bool DoScanCommonLocationsAllUsers(ScanRun& run);
    // --- Memory and registry scans, and the asynchronous scans ------------
    // (scanner_system_scans.cpp, scanner_async.cpp)
    void DoScanMemory(ScanRun& run);
    // The common registry scan.
    void DoScanRegistry(ScanRun& run);
    // The registry scan of all users; false when it failed (last_error_
    // tells why).
    bool DoScanRegistryAllUsers(ScanRun& run);
    // The body of every asynchronous scan method: with the scanner
    // initialised, runs the worker that make_worker gives on a thread of its
    // own (a run of this moment, ScanComplete at the end; a Stop ends it
    // with no further event) and hands out its thread control. Not
    // initialised: "Not initialized." (with code 9 when not_initialized_code
    // is set) and no thread.
    HRESULT LaunchScan(IThreadControl** control, bool not_initialized_code,
                       const std::function<ScanWorker()>& make_worker);

    HRESULT DoInitialize(BSTR dat_path, BSTR exclusions_path, VARIANT_BOOL* success);
    void CreateHelperObjects(BSTR dat_path, BSTR exclusions_path, bool url_mode);
    HRESULT PutFilters(BSTR value);

    // Options. Properties are not locked against a running scan: a client
    // changes them only while no scan runs.
    bool mem_scan_modules_ = false;
    bool initialized_ = false;
    bool deep_scan_ = false;
    bool cookies_as_files_ = false;
    bool scan_all_users_ = false;
    VARIANT_BOOL log_enabled_ = VARIANT_TRUE;
    std::string dat_folder_;  // as the definitions were asked for (ANSI)
    std::wstring exclusions_path_;
    std::wstring log_path_;
    std::wstring scan_filters_text_;
    std::wstring language_;
    std::string certainty_;
    ScanFilterList filters_;

    // Objects made by initialisation; a scan holds its own references.
    com::ComPtr<IExcluder> excluder_;
    com::ComPtr<IPestDatabase> pest_database_;
    DetectedItems detected_;

    // The callback may be replaced while an asynchronous scan starts.
    mutable std::mutex callback_mutex_;
    com::ComPtr<IScannerCallback> callback_;

    com::LastError last_error_;
};

}  // namespace olvex
