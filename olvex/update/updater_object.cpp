#include "olvex/update/updater_object.h"

#include <array>
#include <limits>

#include "olvex/com/bstr.h"
#include "olvex/com/com_ptr.h"
#include "olvex/com/engine_class.h"
#include "olvex/com/module.h"
#include "olvex/core/definition_blocks.h"
#include "olvex/core/file_io.h"
#include "olvex/core/file_set_replace.h"
#include "olvex/core/os_utilities.h"
#include "olvex/update/update_download_name.h"
#include "olvex/update/update_plan.h"

namespace olvex {
namespace {

constexpr char kDefaultControlFileUrl[] =
    "http://update.vorandel.example/Downloads/Components/qzmaster.dat";
constexpr char kLoadDatabaseError[] = "Error loading local file update info.";
constexpr char kRemoteDatabaseError[] = "Error retrieving remote update database.";
constexpr char kDownloadError[] = "Error downloading file from server.";
constexpr char kInvalidFileError[] = "Could not obtain valid version of file.";
constexpr char kChecksumError[] = "Checksum of downloaded file is incorrect.";
constexpr char kThreadMemoryError[] = "Insufficient memory for updater thread.";
// UpdateError's code for a file that failed.
constexpr long kFileErrorCode = 1;

LONG ToLong(std::uint64_t value) {
    return value > static_cast<std::uint64_t>(std::numeric_limits<LONG>::max())
               ? std::numeric_limits<LONG>::max()
               : static_cast<LONG>(value);
}

std::string WithoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && (path.back() == '\\' || path.back() == '/'))
        path.pop_back();
    return path;
}

std::optional<std::string> ExpandPath(const std::string& path) {
    std::array<char, 4096> expanded{};
    const DWORD length = ExpandEnvironmentStringsA(path.c_str(), expanded.data(),
                                                   static_cast<DWORD>(expanded.size()));
    if (length == 0 || length > expanded.size())
        return std::nullopt;
    return std::string(expanded.data());
}

std::string SystemTempFolder() {
    std::array<char, MAX_PATH + 1> path{};
    const DWORD length = GetTempPathA(static_cast<DWORD>(path.size()), path.data());
    if (length == 0 || length >= path.size())
        return ".";
    return WithoutTrailingSeparators(std::string(path.data(), length));
}

// An ANSI text as a BSTR for a callback argument; null (an empty text to the
// callee) when it cannot be made.
com::UniqueBstr CallbackText(const std::string& text) {
    com::UniqueBstr bstr;
    if (FAILED(com::BstrFromAnsi(text, bstr.Put())))
        return com::UniqueBstr();
    return bstr;
}

}  // namespace

// The client's callback as the download sees it. Every event first passes the
// thread control's checkpoint: a paused download waits there, and once Stop
// was called no event is sent and every answer is "stop".
class CUpdater::Events final : public DownloadCallback {
  public:
    Events(IUpdaterCallback* callback, AsyncToken token)
        : callback_(callback), token_(std::move(token)) {}

    bool Stopped() const { return token_.StopRequested(); }
    bool Go() const { return token_.Checkpoint(); }

    void UpdateBegin(std::uint32_t files, std::uint64_t bytes) {
        if (callback_ && Go())
            callback_->UpdateBegin(ToLong(files), ToLong(bytes));
    }
    // The continue flag goes in and comes back: UpdateProgress and UpdateError
    // of one file share it.
    void UpdateProgress(std::uint32_t files, std::uint32_t total_files, std::uint64_t bytes,
                        std::uint64_t total_bytes, VARIANT_BOOL& go_on) {
        if (callback_ && Go())
            callback_->UpdateProgress(ToLong(files), ToLong(total_files), ToLong(bytes),
                                      ToLong(total_bytes), &go_on);
    }
    void UpdateError(const std::string& file, const std::string& message, VARIANT_BOOL& go_on) {
        if (callback_ && Go()) {
            const auto file_text = CallbackText(file);
            const auto message_text = CallbackText(message);
            callback_->UpdateError(kFileErrorCode, file_text.Get(), message_text.Get(), &go_on);
        }
    }
    void UpdateComplete(std::uint32_t files, std::uint64_t bytes) {
        if (callback_ && Go())
            callback_->UpdateComplete(ToLong(files), ToLong(bytes));
    }

    // DownloadCallback: the downloader's reports, passed on.
    void DownloadStarting(const std::string& name, std::uint32_t expected_size) override {
        if (callback_ && Go())
            callback_->DownloadStarting(CallbackText(name).Get(), ToLong(expected_size));
    }
    bool DownloadProgress(const std::string& name, std::uint64_t received,
                          std::uint32_t expected_size) override {
        if (!Go())
            return false;
        if (!callback_)
            return true;
        VARIANT_BOOL go_on = VARIANT_TRUE;
        callback_->DownloadProgress(CallbackText(name).Get(), ToLong(received),
                                    ToLong(expected_size), &go_on);
        return go_on != VARIANT_FALSE && !Stopped();
    }
    void DownloadFinished(const std::string& name, std::uint32_t expected_size) override {
        if (callback_ && Go())
            callback_->DownloadFinished(CallbackText(name).Get(), ToLong(expected_size));
    }

  private:
    IUpdaterCallback* callback_;
    AsyncToken token_;
};

CUpdater::CUpdater()
    : restart_replacer_(MakeSystemRestartReplacer()),
      run_once_key_("Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce") {}

CUpdater::~CUpdater() = default;

void CUpdater::SetRestartReplacer(std::unique_ptr<RestartReplacer> replacer) {
    std::lock_guard lock(mutex_);
    restart_replacer_ = std::move(replacer);
}

void CUpdater::SetProgramWait(DWORD milliseconds) {
    std::lock_guard lock(mutex_);
    program_wait_ms_ = milliseconds;
}

void CUpdater::SetRunOnceKey(HKEY root, std::string path) {
    std::lock_guard lock(mutex_);
    run_once_root_ = root;
    run_once_key_ = std::move(path);
}

void CUpdater::SetSwapStubStarter(SwapStubStarter starter) {
    std::lock_guard lock(mutex_);
    swap_stub_starter_ = std::move(starter);
}

std::string CUpdater::TempFolderOf(BSTR argument) const {
    std::string folder;
    if (FAILED(com::AnsiFromBstr(argument, folder)))
        throw std::bad_alloc();
    return folder.empty() ? SystemTempFolder() : WithoutTrailingSeparators(std::move(folder));
}

std::string CUpdater::LocalPath(const std::string& file_name) const {
    return LocalPathOf(file_name, local_database_.FindVersion(file_name), app_folder_);
}

HRESULT STDMETHODCALLTYPE CUpdater::Initialize(BSTR bsAppFolder, BSTR bsMasterControlFileUrl,
                                               LONG nPort, VARIANT_BOOL* pvbSuccess) {
    return InitializeEx(bsAppFolder, bsMasterControlFileUrl, nPort, nullptr, nullptr, pvbSuccess);
}

HRESULT STDMETHODCALLTYPE CUpdater::IsInitialized(VARIANT_BOOL* pvbInitialized) {
    return com::GetFlag(initialized_, pvbInitialized);
}

HRESULT STDMETHODCALLTYPE CUpdater::get_bsLastError(BSTR* pVal) {
    return last_error_.GetText(pVal);
}

HRESULT STDMETHODCALLTYPE CUpdater::get_nLastError(LONG* pVal) {
    return last_error_.GetCode(pVal);
}

HRESULT STDMETHODCALLTYPE CUpdater::CheckForUpdates(LONG* pnNumberOfUpdatesAvailable,
                                                    LONG* pnTotalBytesInUpdate) {
    return com::Guarded([&]() -> HRESULT {
        std::lock_guard lock(mutex_);
        const auto totals = Check();
        if (pnNumberOfUpdatesAvailable)
            *pnNumberOfUpdatesAvailable = totals ? ToLong(totals->count) : -1;
        if (pnTotalBytesInUpdate)
            *pnTotalBytesInUpdate = totals ? ToLong(totals->bytes) : 0;
        return totals ? S_OK : S_FALSE;
    });
}

std::optional<CUpdater::CheckTotals> CUpdater::Check() {
    pending_.clear();
    if (!initialized_ || !downloader_) {
        last_error_.SetText(com::kNotInitializedText);
        return std::nullopt;
    }
    // One byte past the limit, so that a file that is too large shows as one.
    const auto body = downloader_->ReadUrl(ControlUrl(), kMaxControlFileBytes + 1);
    const ControlFile control = body ? ParseControlFile(*body) : ControlFile{};
    if (!body || !control) {
        last_error_.SetText(kRemoteDatabaseError);
        return std::nullopt;
    }
    for (const auto& rejected : control.rejected) {
        const std::string note = "olvex: update entry " + std::to_string(rejected.group) + " (\"" +
                                 rejected.file_name + "\") ignored\n";
        OutputDebugStringA(note.c_str());
    }
    UpdatePlanSources sources;
    sources.installed = [this](std::string_view name) { return local_database_.FindVersion(name); };
    sources.file_exists = [](const std::string& path) { return FileExists(path); };
    sources.plan_deltas = [this](const UpdateControlRecord& entry, std::uint64_t whole_bytes) {
        return ComputeDeltas(entry, whole_bytes);
    };
    // A replacement killed part way is finished (or undone) first; a set
    // that still does not load is reported and replaced by whole files.
    FinishInterruptedReplace(ReplaceJournalPath());
    std::string load_failure;
    sources.definitions_load = [&] {
        load_failure = DefinitionLoadFailure();
        return load_failure.empty();
    };
    UpdatePlan plan = PlanUpdates(control.entries, app_folder_, sources);
    pending_ = std::move(plan.pending);
    if (!load_failure.empty()) {
        OutputDebugStringA(
            ("olvex: installed definitions do not load: " + load_failure + "\n").c_str());
        last_error_.SetText(load_failure);
    }
    return CheckTotals{plan.count, plan.bytes};
}

std::optional<DeltaPlan> CUpdater::ComputeDeltas(const UpdateControlRecord& delta_index_entry,
                                                 std::uint64_t whole_file_bytes) {
    const HeaderTotals totals = ReadHeaderTotals(app_folder_);
    const auto body = downloader_->ReadUrl(delta_index_entry.url, kMaxDeltaIndexBytes + 1);
    if (!body)
        return std::nullopt;
    // Checked like every other file of the control file: an index that is
    // not the one published sends the whole files.
    if (UpdateCheckValue(*body) != delta_index_entry.check_value)
        return std::nullopt;
    const auto parse = ParseDeltaIndex(*body);
    if (!parse)
        return std::nullopt;
    DeltaChainInput input;
    input.installed_version = totals.data_version;
    input.appended_delta_bytes = static_cast<std::uint64_t>(std::max(totals.delta_bytes, 0));
    input.max_delta_bytes = max_delta_bytes_;
    input.whole_file_bytes = whole_file_bytes;
    input.delta_entry_version = delta_index_entry.version;
    return PlanDeltaChain(parse.index, input);
}

HRESULT STDMETHODCALLTYPE CUpdater::get_vbForceAllUpdates(VARIANT_BOOL* pVal) {
    return S_OK;  // accepted and without effect; the variable is left as it was
}

HRESULT STDMETHODCALLTYPE CUpdater::put_vbForceAllUpdates(VARIANT_BOOL value) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CUpdater::DownloadUpdates(BSTR bsTempFolder,
                                                    IUpdaterCallback* pUpdaterCallback,
                                                    LONG* pnFilesReceived) {
    return com::Guarded([&]() -> HRESULT {
        const std::string temp_folder = TempFolderOf(bsTempFolder);
        std::lock_guard lock(mutex_);
        Events events(pUpdaterCallback, AsyncToken());
        const long files = Download(temp_folder, events);
        if (pnFilesReceived)
            *pnFilesReceived = files;
        return S_OK;
    });
}

long CUpdater::Download(const std::string& temp_folder, Events& events) {
    if (!initialized_ || !downloader_) {
        last_error_.SetText(com::kNotInitializedText);
        return -1;
    }
    if (!downloader_->IsReady()) {
        last_error_.SetText(downloader_->LastError());
        return -1;
    }
    CheckTotals totals;
    if (pending_.empty()) {
        const auto checked = Check();
        if (!checked)
            return -1;
        totals = *checked;
    } else {
        totals.count = static_cast<std::uint32_t>(pending_.size());
        for (const auto& entry : pending_)
            totals.bytes += entry.size;
    }
    // The folder holds this run's downloads only: what earlier runs left
    // (cut-off downloads, refused or unapplied files) would otherwise stay
    // for ever, or be applied together with this run's.
    RemoveEarlierDownloads(temp_folder);
    events.UpdateBegin(totals.count, totals.bytes);

    com::ComPtr<IVersionInfo> version_info;
    if (FAILED(com::CreateEngineObject(CLSID_VersionInfo, version_info.Put())))
        version_info.Reset();  // the validity test is skipped
    downloader_->SetCallback(&events);
    struct CallbackReset {
        CWebDownloader& downloader;
        ~CallbackReset() { downloader.SetCallback(nullptr); }
    } reset{*downloader_};

    // The list is worked on aside: a callback that checks again meanwhile
    // cannot pull it from under the loop.
    std::vector<UpdateControlRecord> work = std::move(pending_);
    pending_.clear();
    std::uint32_t files = 0;
    std::uint64_t bytes = 0;
    for (auto& entry : work) {
        if (!events.Go())
            break;
        const bool received = DownloadEntry(entry, temp_folder, version_info.Get(), events);
        if (received) {
            ++files;
            bytes += entry.size;
        }
        if (events.Stopped())
            break;
        VARIANT_BOOL go_on = VARIANT_TRUE;
        events.UpdateProgress(files, totals.count, bytes, totals.bytes, go_on);
        if (!received) {
            events.UpdateError(DownloadFileName(entry.file_name, entry.version, entry.type),
                               last_error_.Text(), go_on);
        }
        if (go_on == VARIANT_FALSE || events.Stopped())
            break;
    }
    pending_ = std::move(work);
    events.UpdateComplete(files, bytes);
    return static_cast<long>(files);
}

bool CUpdater::DownloadEntry(UpdateControlRecord& entry, const std::string& temp_folder,
                             IVersionInfo* version_info, Events& events) {
    entry.download_path.clear();
    const std::string path =
        temp_folder + "\\" + DownloadFileName(entry.file_name, entry.version, entry.type);
    // An empty update file never passes its check; a size of 0 would also
    // leave the download without a limit.
    if (entry.size == 0 || !downloader_->DownloadToFile(entry.url, path, entry.size)) {
        last_error_.SetText(kDownloadError);
        return false;
    }
    if (version_info) {
        VARIANT_BOOL valid = VARIANT_FALSE;
        com::UniqueBstr path_text;
        if (FAILED(com::BstrFromAnsi(path, path_text.Put())) ||
            FAILED(version_info->IsDATValid(path_text.Get(), &valid)) || valid != VARIANT_TRUE) {
            RemoveFile(path);
            last_error_.SetText(kInvalidFileError);
            return false;
        }
    }
    const FileBytes file = ReadWholeFile(path, entry.size);
    if (!file || file.bytes.empty() || UpdateCheckValue(file.bytes) != entry.check_value) {
        RemoveFile(path);
        last_error_.SetText(kChecksumError);
        return false;
    }
    // A definition file must also load, whatever its check value says: it
    // would otherwise replace a working set with one that finds nothing.
    UpdateControlRecord downloaded = entry;
    downloaded.download_path = path;
    if (const auto refusal = RefusalOf(downloaded, file.bytes)) {
        RemoveFile(path);
        last_error_.SetText(std::string(kInvalidFileError) + " " + *refusal);
        return false;
    }
    entry.download_path = path;
    return true;
}

HRESULT STDMETHODCALLTYPE CUpdater::IsRebootRequired(VARIANT_BOOL* pvbReboot) {
    return com::GetFlag(reboot_required_, pvbReboot);
}

HRESULT STDMETHODCALLTYPE CUpdater::ApplyUpdates(BSTR bsTempFolder,
                                                 LONG* pnNumberOfUpdatesApplied) {
    return com::Guarded([&]() -> HRESULT {
        const std::string temp_folder = TempFolderOf(bsTempFolder);
        std::lock_guard lock(mutex_);
        const long applied = Apply(temp_folder);
        if (pnNumberOfUpdatesApplied)
            *pnNumberOfUpdatesApplied = applied;
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CUpdater::DownloadUpdatesAsync(BSTR bsTempFolder,
                                                         IUpdaterCallback* pUpdaterCallback,
                                                         IThreadControl** ppThreadControl) {
    if (!ppThreadControl)
        return E_POINTER;
    *ppThreadControl = nullptr;
    LaunchResult result = LaunchResult::kNoMemory;
    const HRESULT hr = com::Guarded([&]() -> HRESULT {
        // The thread holds the updater and the callback until it ends, so a
        // client that lets go of them early frees nothing the thread uses.
        AsyncWork work = [self = com::ComPtr<IUpdater>::Share(this),
                          callback = com::ComPtr<IUpdaterCallback>::Share(pUpdaterCallback),
                          temp_folder = TempFolderOf(bsTempFolder),
                          updater = this](const AsyncToken& token) {
            std::lock_guard lock(updater->mutex_);
            Events events(callback.Get(), token);
            updater->Download(temp_folder, events);
        };
        result = LaunchAsync(ComApartment::kSingleThreaded, std::move(work), ppThreadControl);
        return S_OK;
    });
    if (hr == E_OUTOFMEMORY)
        result = LaunchResult::kNoMemory;
    else if (FAILED(hr))
        return hr;
    if (const char* text = LaunchErrorText(result, kThreadMemoryError))
        last_error_.SetText(text);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CUpdater::get_bsUpdateServer(BSTR* pVal) {
    return com::Guarded([&]() { return com::BstrFromAnsi(ControlUrl(), pVal); });
}

std::string CUpdater::ControlUrl() const {
    std::lock_guard lock(url_mutex_);
    return control_url_;
}

void CUpdater::SetControlUrl(std::string url) {
    std::lock_guard lock(url_mutex_);
    control_url_ = std::move(url);
}

HRESULT STDMETHODCALLTYPE CUpdater::put_bsUpdateServer(BSTR value) {
    return com::Guarded([&]() -> HRESULT {
        std::string url;
        if (const HRESULT hr = com::AnsiFromBstr(value, url); FAILED(hr))
            return hr;
        SetControlUrl(std::move(url));
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CUpdater::InitializeEx(BSTR bsAppFolder, BSTR bsMasterControlFileUrl,
                                                 LONG nPort, BSTR bsUsername, BSTR bsPassword,
                                                 VARIANT_BOOL* pvbSuccess) {
    return com::Guarded([&]() -> HRESULT {
        std::string folder, url, user, password;
        for (const auto& [text, out] : {std::pair{bsAppFolder, &folder},
                                        {bsMasterControlFileUrl, &url},
                                        {bsUsername, &user},
                                        {bsPassword, &password}}) {
            if (const HRESULT hr = com::AnsiFromBstr(text, *out); FAILED(hr))
                return hr;
        }
        if (folder.empty())
            folder = GetModuleFolder(com::ThisModule()).value_or(std::string());
        std::lock_guard lock(mutex_);
        app_folder_ = WithoutTrailingSeparators(std::move(folder));
        SetControlUrl(url.empty() ? std::string(kDefaultControlFileUrl) : std::move(url));
        port_ = nPort == 0 ? 80 : nPort;
        pending_.clear();
        if (local_database_.Load(app_folder_ + "\\" + std::string(kLocalUpdateDatabaseName),
                                 ExpandPath) < 0) {
            last_error_.SetText(kLoadDatabaseError);
        }
        downloader_ = std::make_unique<CWebDownloader>(user, password);
        initialized_ = true;
        if (pvbSuccess)
            *pvbSuccess = VARIANT_TRUE;
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CUpdater::get_MaxDeltaBytes(ULONG* pVal) {
    if (!pVal)
        return E_POINTER;
    *pVal = max_delta_bytes_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CUpdater::put_MaxDeltaBytes(ULONG value) {
    max_delta_bytes_ = value;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CUpdater::get_vbExecuteAtReboot(VARIANT_BOOL* pVal) {
    return com::GetFlag(execute_at_reboot_, pVal);
}

HRESULT STDMETHODCALLTYPE CUpdater::put_vbExecuteAtReboot(VARIANT_BOOL value) {
    execute_at_reboot_ = com::IsVariantTrue(value);
    return S_OK;
}

}  // namespace olvex
