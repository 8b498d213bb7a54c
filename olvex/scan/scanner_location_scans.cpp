// The scanner's scans of cookies, common locations and start-up entries, in
// their current-user, all-users and asynchronous forms.
#include <new>
#include <utility>

#include "olvex/com/bstr.h"
#include "olvex/com/com_object.h"
#include "olvex/core/ansi_code_page.h"
#include "olvex/core/os_utilities.h"
#include "olvex/core/process_dat_database.h"
#include "olvex/scan/autorun_scan.h"
#include "olvex/scan/common_locations_scan.h"
#include "olvex/scan/cookie_scan.h"
#include "olvex/scan/scan_places.h"
#include "olvex/scan/scanner_object.h"
#include "olvex/scan/user_hives.h"

namespace olvex {
namespace {

constexpr char kNoCookieFolderText[] = "Error obtaining cookies folder.";
constexpr long kNoCookieFolderCode = 23;

std::string WithoutTrailingBackslash(std::string folder) {
    if (!folder.empty() && folder.back() == '\\' &&
        AnsiCodePageText().EndsOnCharBoundary(
            std::string_view(folder).substr(0, folder.size() - 1)))
        folder.pop_back();
    return folder;
}

AutorunScan MakeAutorunScan(AutorunSystem& system, FolderLister& lister, ScanRun& run,
                            FileScanner& files) {
    return AutorunScan(system, lister, run.reporter(), AnsiCodePageText(),
                       [&files](const std::string& path) { files.ScanFile(path); });
}

// The current user's start-up programs, each handed to the file scan.
void ScanAutorunEntries(ScanRun& run, FileScanner& files) {
    const ScanPlaces& places = CurrentScanPlaces();
    WindowsAutorunSystem system(places);
    WindowsFolderLister lister;
    MakeAutorunScan(system, lister, run, files).ScanCurrentUser(places.autoexec_path);
}

// Every user's start-up programs, with the users' hives mounted meanwhile.
void ScanAutorunEntriesAllUsers(ScanRun& run, FileScanner& files) {
    const ScanPlaces& places = CurrentScanPlaces();
    WindowsAutorunSystem system(places);
    WindowsFolderLister lister;
    // Unloaded on every way out, when the list goes.
    MountedHives hives;
    LoadAllUserHives(hives);
    MakeAutorunScan(system, lister, run, files).ScanAllUsers(places.autoexec_path);
    UnloadAllUserHives(hives);
}

}  // namespace

// --- Runs ------------------------------------------------------------------------

HRESULT CScanner::RunAllUsersScan(VARIANT_BOOL* success, const AllUsersWorker& worker) {
    if (!success)
        return E_POINTER;
    *success = VARIANT_TRUE;
    return com::Guarded([&]() -> HRESULT {
        if (!last_error_.RequireInitialized(initialized_, success, com::kNotInitializedText, 9))
            return S_OK;
        const auto run = BeginRun();
        // Other users' folders and hives are reached on the NT family only;
        // Windows 95 and an unknown system are refused before anything is
        // sent, Windows 98 and Me with the scan's end.
        switch (GetWindowsVersionCode()) {
            case 0:
                last_error_.Set(kCannotDetermineOsText, kCannotDetermineOsCode);
                *success = VARIANT_FALSE;
                return S_OK;
            case 1:
                last_error_.Set(kUnsupportedOsText, kUnsupportedOsCode);
                *success = VARIANT_FALSE;
                return S_OK;
            case 2:
            case 3:
                last_error_.Set(kUnsupportedOsText, kUnsupportedOsCode);
                *success = VARIANT_FALSE;
                run->reporter().ScanComplete();
                return S_OK;
            default:
                break;
        }
        if (worker(*run, success))
            run->reporter().ScanComplete();
        return S_OK;
    });
}

// --- Cookies -------------------------------------------------------------------

bool CScanner::ScanCookieFolder(ScanRun& run, FileScanner& files, const std::string& folder) {
    WindowsPathProbe probe;
    WindowsFolderLister lister;
    const bool scanned =
        olvex::ScanCookieFolder(folder, probe, lister, run.reporter(), AnsiCodePageText(),
                                [&files](const std::string& path) { files.CheckCookieFile(path); });
    if (!scanned)
        last_error_.Set(kAccessDeniedText, kAccessDeniedCode);
    return scanned;
}

bool CScanner::DoScanCookies(ScanRun& run) {
    const auto folder = CurrentUserCookieFolder(CurrentScanPlaces());
    if (!folder) {
        // No cookie folder holds no cookies: reported, but the scan succeeded.
        last_error_.Set(kNoCookieFolderText, kNoCookieFolderCode);
        return true;
    }
    FileScanner files = MakeFileScanner(run);
    return ScanCookieFolder(run, files, *folder);
}

bool CScanner::DoScanCookiesAllUsers(ScanRun& run) {
    FileScanner files = MakeFileScanner(run);
    WindowsPathProbe probe;
    WindowsFolderLister lister;
    const bool all = ScanProfileCookieFolders(
        GetUserProfileFolders(), probe, lister, run.reporter(), AnsiCodePageText(),
        [&files](const std::string& path) { files.CheckCookieFile(path); });
    if (!all)
        last_error_.Set(kAccessDeniedText, kAccessDeniedCode);
    return all;
}

void CScanner::DoScanCookieFolder(ScanRun& run, const std::string& folder) {
    if (GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
        last_error_.Set(kNoCookieFolderText, kNoCookieFolderCode);
        return;
    }
    FileScanner files = MakeFileScanner(run);
    ScanCookieFolder(run, files, WithoutTrailingBackslash(folder));
}

HRESULT STDMETHODCALLTYPE CScanner::ScanCookies(VARIANT_BOOL* pvbSuccess) {
    if (scan_all_users_) {
        return RunAllUsersScan(pvbSuccess, [this](ScanRun& run, VARIANT_BOOL* success) {
            if (!DoScanCookiesAllUsers(run))
                *success = VARIANT_FALSE;
            return true;
        });
    }
    return RunScan(pvbSuccess, [this, pvbSuccess](ScanRun& run) {
        // A folder that refused access was not scanned.
        if (!DoScanCookies(run))
            *pvbSuccess = VARIANT_FALSE;
    });
}

HRESULT STDMETHODCALLTYPE CScanner::ScanCookiesEx(BSTR bsCookieFolderPath,
                                                  VARIANT_BOOL* pvbSuccess) {
    return RunScan(pvbSuccess, [&](ScanRun& run) {
        DoScanCookieFolder(run, com::AnsiArgument(bsCookieFolderPath));
    });
}

HRESULT STDMETHODCALLTYPE CScanner::ScanCookiesAsync(IThreadControl** pThreadControl) {
    return LaunchScan(pThreadControl, false,
                      [this] { return ScanWorker([this](ScanRun& run) { DoScanCookies(run); }); });
}

// --- Common locations --------------------------------------------------------------

void CScanner::DoScanCommonLocations(ScanRun& run) {
    FileScanner files = MakeFileScanner(run);
    WindowsPathProbe probe;
    olvex::ScanCommonLocations(TheDatDatabase(), probe, run.reporter(),
                               [&] { ScanAutorunEntries(run, files); });
}

bool CScanner::DoScanCommonLocationsAllUsers(ScanRun& run) {
    FileScanner files = MakeFileScanner(run);
    WindowsPathProbe probe;
    WindowsAllUsersPlaces places(CurrentScanPlaces());
    return olvex::ScanCommonLocationsAllUsers(TheDatDatabase(), probe, places, run.reporter(),
                                              [&] { ScanAutorunEntriesAllUsers(run, files); });
}

HRESULT STDMETHODCALLTYPE CScanner::ScanCommonLocations(VARIANT_BOOL* pvbSuccess) {
    if (scan_all_users_) {
        return RunAllUsersScan(pvbSuccess, [this](ScanRun& run, VARIANT_BOOL* success) {
            if (DoScanCommonLocationsAllUsers(run))
                return true;
            last_error_.Set(kAccessDeniedText, kAccessDeniedCode);
            *success = VARIANT_FALSE;
            return false;
        });
    }
    return RunScan(pvbSuccess, [this](ScanRun& run) { DoScanCommonLocations(run); });
}

HRESULT STDMETHODCALLTYPE CScanner::ScanCommonLocationsAsync(IThreadControl** ppThreadControl) {
    return LaunchScan(ppThreadControl, false, [this] {
        return ScanWorker([this](ScanRun& run) { DoScanCommonLocations(run); });
    });
}

}  // namespace olvex
