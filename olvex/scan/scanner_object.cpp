#include "olvex/scan/scanner_object.h"

#include <new>
#include <utility>

#include "olvex/com/bstr.h"
#include "olvex/com/engine_class.h"
#include "olvex/com/module.h"
#include "olvex/core/ansi_code_page.h"
#include "olvex/core/os_utilities.h"
#include "olvex/core/process_dat_database.h"
#include "olvex/scan/folder_walk.h"

namespace olvex {
namespace {

// The deepest level of archives inside archives that file scans open.
constexpr int kArchiveNestingLimit = 10;

std::wstring TextOf(BSTR value) {
    return value ? std::wstring(value, SysStringLen(value)) : std::wstring();
}

// GetTempPathA as it answers, trailing backslash included.
std::wstring RawTemporaryFolder() {
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
    return length > 0 && length <= MAX_PATH ? std::wstring(buffer, length) : std::wstring();
}

}  // namespace

CScanner::CScanner() : filters_(AnsiCodePageText()) {}

// --- Scans -----------------------------------------------------------------

HRESULT CScanner::RunScan(VARIANT_BOOL* success, const ScanWorker& worker) {
    if (!success)
        return E_POINTER;
    *success = VARIANT_TRUE;
    return com::Guarded([&]() -> HRESULT {
        if (!last_error_.RequireInitialized(initialized_, success, com::kNotInitializedText, 9))
            return S_OK;
        const auto run = BeginRun();
        worker(*run);
        run->reporter().ScanComplete();
        return S_OK;
    });
}

std::unique_ptr<ScanRun> CScanner::BeginRun() {
    com::ComPtr<IScannerCallback> callback;
    {
        std::lock_guard lock(callback_mutex_);
        callback = callback_;
    }
    auto run = std::make_unique<ScanRun>(std::move(callback), excluder_, pest_database_, detected_);
    run->archives.SetLogFolder(com::AnsiArgument(log_path_.c_str()));
    return run;
}

FileScanner CScanner::MakeFileScanner(ScanRun& run) {
    run.file_settings.filters = &filters_;
    run.file_settings.deep_scan = deep_scan_;
    run.file_settings.cookies_as_files = cookies_as_files_;
    run.file_settings.certainty = certainty_;
    run.file_settings.archive_limits = ArchiveScanLimits{};
    run.file_settings.archive_limits.nesting_limit = kArchiveNestingLimit;
    return FileScanner(run.reporter(), TheDatDatabase(), run.file_settings, run.archives,
                       AnsiCodePageText());
}

void CScanner::DoScanFolder(ScanRun& run, const std::string& folder, bool recurse) {
    FileScanner files = MakeFileScanner(run);
    WindowsFolderLister lister;
    WalkFolder(folder, recurse, lister, run.reporter(), AnsiCodePageText(),
               [&](const std::string& path) { files.ScanFile(path); });
}

void CScanner::DoScanFile(ScanRun& run, const std::string& path) {
    MakeFileScanner(run).ScanFile(path);
}

bool CScanner::DoScanFileEx(ScanRun& run, const std::string& path) {
    return MakeFileScanner(run).ScanFileWithVerdict(path);
}

HRESULT STDMETHODCALLTYPE CScanner::ScanFolder(BSTR bsFolder, VARIANT_BOOL vbRecurse,
                                               VARIANT_BOOL* pvbSuccess) {
    return RunScan(pvbSuccess, [&](ScanRun& run) {
        // Only exactly VARIANT_TRUE recurses.
        DoScanFolder(run, com::AnsiArgument(bsFolder), vbRecurse == VARIANT_TRUE);
    });
}

HRESULT STDMETHODCALLTYPE CScanner::ScanFile(BSTR bsFile, VARIANT_BOOL* pvbSuccess) {
    return RunScan(pvbSuccess, [&](ScanRun& run) { DoScanFile(run, com::AnsiArgument(bsFile)); });
}

HRESULT STDMETHODCALLTYPE CScanner::ScanFileEx(BSTR bsFile, VARIANT_BOOL* pvbIsPest,
                                               VARIANT_BOOL* pvbSuccess) {
    if (!pvbIsPest)
        return E_POINTER;
    *pvbIsPest = VARIANT_FALSE;
    return RunScan(pvbSuccess, [&](ScanRun& run) {
        *pvbIsPest = com::ToVariantBool(DoScanFileEx(run, com::AnsiArgument(bsFile)));
    });
}

// The memory and registry scans are in scanner_system_scans.cpp, the cookie
// and common-location scans in scanner_location_scans.cpp, the launcher of
// the asynchronous scans in scanner_async.cpp.

HRESULT STDMETHODCALLTYPE CScanner::ScanMemory(VARIANT_BOOL* pvbSuccess) {
    return RunScan(pvbSuccess, [&](ScanRun& run) { DoScanMemory(run); });
}

HRESULT STDMETHODCALLTYPE CScanner::ScanRegistry(VARIANT_BOOL* pvbSuccess) {
    return RunScan(pvbSuccess, [&](ScanRun& run) {
        if (!scan_all_users_)
            DoScanRegistry(run);
        else if (!DoScanRegistryAllUsers(run))
            *pvbSuccess = VARIANT_FALSE;
    });
}

HRESULT STDMETHODCALLTYPE CScanner::ScanFolderAsync(BSTR bsFolder, VARIANT_BOOL vbRecurse,
                                                    IThreadControl** pThreadControl) {
    return LaunchScan(pThreadControl, true, [&] {
        return ScanWorker([this, folder = com::AnsiArgument(bsFolder),
                           recurse = vbRecurse == VARIANT_TRUE](ScanRun& run) {
            DoScanFolder(run, folder, recurse);
        });
    });
}

HRESULT STDMETHODCALLTYPE CScanner::ScanMemoryAsync(IThreadControl** ppThreadControl) {
    return LaunchScan(ppThreadControl, false,
                      [this] { return ScanWorker([this](ScanRun& run) { DoScanMemory(run); }); });
}

HRESULT STDMETHODCALLTYPE CScanner::ScanFileAsync(BSTR bsFile, IThreadControl** ppThreadControl) {
    return LaunchScan(ppThreadControl, false, [&] {
        return ScanWorker(
            [this, file = com::AnsiArgument(bsFile)](ScanRun& run) { DoScanFile(run, file); });
    });
}

HRESULT STDMETHODCALLTYPE CScanner::ScanRegistryAsync(IThreadControl** ppThreadControl) {
    return LaunchScan(ppThreadControl, false,
                      [this] { return ScanWorker([this](ScanRun& run) { DoScanRegistry(run); }); });
}

// --- Initialisation ----------------------------------------------------------

HRESULT STDMETHODCALLTYPE CScanner::Initialize(BSTR bsDatFolder, VARIANT_BOOL* pvbSuccess) {
    return com::Guarded([&]() -> HRESULT {
        exclusions_path_ = TextOf(bsDatFolder);
        log_path_ = TextOf(bsDatFolder);
        return DoInitialize(bsDatFolder, bsDatFolder, pvbSuccess);
    });
}

HRESULT STDMETHODCALLTYPE CScanner::InitializeEx(BSTR bsDatPath, BSTR bsExclusionsPath,
                                                 BSTR bsLogPath, VARIANT_BOOL* pvbSuccess) {
    return com::Guarded([&]() -> HRESULT {
        exclusions_path_ = TextOf(bsExclusionsPath);
        log_path_ = TextOf(bsLogPath);
        return DoInitialize(bsDatPath, bsExclusionsPath, pvbSuccess);
    });
}

HRESULT CScanner::DoInitialize(BSTR dat_path, BSTR exclusions_path, VARIANT_BOOL* success) {
    if (!success)
        return E_POINTER;
    detected_.Clear();
    initialized_ = true;
    *success = VARIANT_TRUE;
    log_enabled_ = VARIANT_TRUE;
    com::UniqueBstr all_files(SysAllocString(L"*.*"));
    if (!all_files.Get())
        return E_OUTOFMEMORY;
    PutFilters(all_files.Get());
    deep_scan_ = false;
    last_error_.SetSuccess();
    certainty_ = kCertaintyConfirmed;

    // Without a folder, the definitions beside the engine.
    std::string source = com::AnsiArgument(dat_path);
    if (source.empty())
        source = GetModuleFolder(com::ThisModule()).value_or(std::string());
    dat_folder_ = source;
    const bool url_mode = IsRemoteDefinitionSource(source);

    // The definitions are loaded once per process, whatever folder a later
    // scanner names.
    CDatDatabase& database = TheDatDatabase();
    if (!database.IsLoaded()) {
        WebDefinitionFetcher fetcher;
        const RemoteSource remote{&fetcher, TemporaryFolder()};
        const auto load = database.LoadUnlessLoaded(source, &remote);
        if (load.code != 0) {
            last_error_.Set(database.GetLastErrorText(), load.code);
            initialized_ = false;
            *success = VARIANT_FALSE;
        }
    }
    CreateHelperObjects(dat_path, exclusions_path, url_mode);
    return S_OK;
}

void CScanner::CreateHelperObjects(BSTR dat_path, BSTR exclusions_path, bool url_mode) {
    // Objects of an earlier initialisation go first.
    excluder_.Reset();
    pest_database_.Reset();

    com::ComPtr<IExcluder> excluder;
    if (FAILED(com::CreateEngineObject(CLSID_Excluder, excluder.Put())))
        return;
    std::wstring folder;
    if (url_mode)
        folder = RawTemporaryFolder();
    else if (exclusions_path && *exclusions_path)
        folder = TextOf(exclusions_path) + L"\\";
    com::UniqueBstr folder_text(folder.empty() ? nullptr : SysAllocString(folder.c_str()));
    if (!folder.empty() && !folder_text.Get())
        throw std::bad_alloc();
    VARIANT_BOOL ignored = VARIANT_FALSE;
    excluder->Initialize(folder_text.Get(), &ignored);
    excluder_ = std::move(excluder);

    com::ComPtr<IPestDatabase> database;
    if (FAILED(com::CreateEngineObject(CLSID_PestDatabase, database.Put())))
        return;
    VARIANT_BOOL ready = VARIANT_FALSE;
    database->IsInitialized(&ready);
    if (ready != VARIANT_TRUE) {
        database->Initialize(dat_path, &ready);
        if (ready != VARIANT_TRUE)
            return;
    }
    pest_database_ = std::move(database);
}

HRESULT STDMETHODCALLTYPE CScanner::IsInitialized(VARIANT_BOOL* pvbInitialized) {
    return com::GetFlag(initialized_, pvbInitialized);
}

// --- Detected-item list ------------------------------------------------------

HRESULT STDMETHODCALLTYPE CScanner::GetNextDetectedItem(LONG* pnPestId, BSTR* pbsLocation) {
    if (!pnPestId || !pbsLocation)
        return E_POINTER;
    *pnPestId = 0;
    *pbsLocation = nullptr;
    auto item = detected_.TakeNewest();
    if (!item)
        return S_OK;
    if (const HRESULT hr = com::BstrFromAnsi(item->location, pbsLocation); FAILED(hr)) {
        // Kept for another try.
        detected_.Add(item->pest_id, std::move(item->location));
        return hr;
    }
    *pnPestId = item->pest_id;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CScanner::GetFirstDetectedItem(LONG* pnPestId, BSTR* pbsLocation) {
    return GetNextDetectedItem(pnPestId, pbsLocation);
}

// --- Properties ----------------------------------------------------------------

HRESULT STDMETHODCALLTYPE CScanner::get_Callback(IScannerCallback** pVal) {
    if (!pVal)
        return E_POINTER;
    std::lock_guard lock(callback_mutex_);
    *pVal = com::ComPtr<IScannerCallback>(callback_).Detach();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CScanner::put_Callback(IScannerCallback* value) {
    auto replacement = com::ComPtr<IScannerCallback>::Share(value);
    {
        std::lock_guard lock(callback_mutex_);
        std::swap(callback_, replacement);
    }
    // The callback replaced is released here, outside the lock: its last
    // release may run client code.
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CScanner::get_bMemScanModules(VARIANT_BOOL* pVal) {
    return com::GetFlag(mem_scan_modules_, pVal);
}

HRESULT STDMETHODCALLTYPE CScanner::put_bMemScanModules(VARIANT_BOOL value) {
    mem_scan_modules_ = com::IsVariantTrue(value);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CScanner::get_vbMemScanModules(VARIANT_BOOL* pVal) {
    return get_bMemScanModules(pVal);
}

HRESULT STDMETHODCALLTYPE CScanner::put_vbMemScanModules(VARIANT_BOOL value) {
    return put_bMemScanModules(value);
}

HRESULT STDMETHODCALLTYPE CScanner::get_bDeepScan(VARIANT_BOOL* pVal) {
    return com::GetFlag(deep_scan_, pVal);
}

HRESULT STDMETHODCALLTYPE CScanner::put_bDeepScan(VARIANT_BOOL value) {
    deep_scan_ = com::IsVariantTrue(value);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CScanner::get_vbDeepScan(VARIANT_BOOL* pVal) {
    return get_bDeepScan(pVal);
}

HRESULT STDMETHODCALLTYPE CScanner::put_vbDeepScan(VARIANT_BOOL value) {
    return put_bDeepScan(value);
}

HRESULT STDMETHODCALLTYPE CScanner::get_vbDetectCookiesAsFiles(VARIANT_BOOL* pVal) {
    return com::GetFlag(cookies_as_files_, pVal);
}

HRESULT STDMETHODCALLTYPE CScanner::put_vbDetectCookiesAsFiles(VARIANT_BOOL value) {
    cookies_as_files_ = com::IsVariantTrue(value);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CScanner::get_vbScanAllUsers(VARIANT_BOOL* pVal) {
    return com::GetFlag(scan_all_users_, pVal);
}

HRESULT STDMETHODCALLTYPE CScanner::put_vbScanAllUsers(VARIANT_BOOL value) {
    scan_all_users_ = com::IsVariantTrue(value);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CScanner::get_vbLogEnabled(VARIANT_BOOL* pVal) {
    if (!pVal)
        return E_POINTER;
    *pVal = log_enabled_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CScanner::put_vbLogEnabled(VARIANT_BOOL value) {
    log_enabled_ = value;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CScanner::get_bsLastError(BSTR* pVal) {
    return last_error_.GetText(pVal);
}

HRESULT STDMETHODCALLTYPE CScanner::put_bsLastError(BSTR value) {
    return last_error_.PutText(value);
}

HRESULT STDMETHODCALLTYPE CScanner::get_nLastError(LONG* pVal) {
    return last_error_.GetCode(pVal);
}

HRESULT STDMETHODCALLTYPE CScanner::get_bsScanFilters(BSTR* pVal) {
    return com::Guarded([&] { return com::BstrFromWide(scan_filters_text_.c_str(), pVal); });
}

HRESULT STDMETHODCALLTYPE CScanner::put_bsScanFilters(BSTR value) {
    return com::Guarded([&] { return PutFilters(value); });
}

HRESULT CScanner::PutFilters(BSTR value) {
    scan_filters_text_ = TextOf(value);
    return filters_.Parse(com::AnsiArgument(value)) ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE CScanner::get_bsLanguage(BSTR* pVal) {
    return com::Guarded([&] { return com::BstrFromWide(language_.c_str(), pVal); });
}

HRESULT STDMETHODCALLTYPE CScanner::put_bsLanguage(BSTR value) {
    return com::Guarded([&] {
        language_ = TextOf(value);
        return S_OK;
    });
}

}  // namespace olvex
