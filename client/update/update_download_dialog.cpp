#include "client/update/update_download_dialog.h"

#include <objbase.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "client/common/com_text.h"
#include "client/common/activity_log.h"
#include "client/common/client_environment.h"
#include "client/common/download_proxy.h"
#include "client/common/named_mutex.h"
#include "client/common/url_lookup.h"
#include "client/common/ui/controls.h"
#include "client/update/pellory_app.h"
#include "client/update/pellory_resources.h"
#include "olvex/core/file_io.h"

namespace olvex {
namespace {

// Posted to the window: callback events wait in its queue; the worker ended.
constexpr UINT kDownloadEventMessage = WM_APP + 10;
constexpr UINT kWorkerEndedMessage = WM_APP + 11;
constexpr UINT kStartRunMessage = WM_APP + 12;
constexpr UINT kChecksDoneMessage = WM_APP + 13;
constexpr UINT_PTR kRunLimitTimer = 45;

constexpr char kSuiteKey[] = "Software\\Vorandel\\Kelvan Suite Personal";
constexpr char kScannerWindowMutex[] = "Gorsewatch5ScannerWindow";
constexpr char kCheckForUpdatesTitle[] = "Kelvan Gorsewatch -- Check for Updates";

void Trace(const std::string& text) {
    OutputDebugStringA((text + "\n").c_str());
}

std::size_t IndexOf(UpdateChannel channel) {
    return static_cast<std::size_t>(channel);
}

std::optional<std::string> SuiteFolder() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSuiteKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    std::vector<char> value(MAX_PATH + 1);
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(value.size() - 1);
    const bool found =
        RegQueryValueExA(key, "Path", nullptr, &type, reinterpret_cast<BYTE*>(value.data()),
                         &size) == ERROR_SUCCESS &&
        type == REG_SZ;
    RegCloseKey(key);
    if (!found)
        return std::nullopt;
    return std::string(value.data());
}

std::string TempFolder() {
    std::vector<char> path(MAX_PATH + 1);
    const DWORD length = GetTempPathA(MAX_PATH, path.data());
    if (length == 0 || length > MAX_PATH)
        return ".\\";
    return std::string(path.data(), length);
}

// The run's time limit. The environment variable OLVEX_UPDATE_RUN_LIMIT_MS
// may shorten it (never lengthen it), so that a test sees a run end by it
// without waiting an hour.
UINT RunTimeLimitMs() {
    char text[16] = {};
    const DWORD length = GetEnvironmentVariableA("OLVEX_UPDATE_RUN_LIMIT_MS", text, sizeof(text));
    if (length > 0 && length < sizeof(text)) {
        const unsigned long shorter = std::strtoul(text, nullptr, 10);
        if (shorter > 0 && shorter < kRunTimeLimitMs)
            return static_cast<UINT>(shorter);
    }
    return kRunTimeLimitMs;
}

// The format with its "%ld" and "%s" filled in.
std::wstring FillIn(std::wstring format, long number, const std::wstring& text) {
    const std::size_t at = format.find(L"%ld");
    if (at != std::wstring::npos)
        format.replace(at, 3, std::to_wstring(number));
    const std::size_t text_at = format.find(L"%s");
    if (text_at != std::wstring::npos)
        format.replace(text_at, 2, text);
    return format;
}

// Downloads an earlier run left (failed or declined) must never be applied
// with this run's: the channel's folder starts without update files.
void RemoveStaleDownloads(const std::string& folder) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::filesystem::path& path = entry.path();
        std::error_code kind_error;
        if (entry.is_regular_file(kind_error) && path.extension() == ".qzu") {
            std::error_code remove_error;
            std::filesystem::remove(path, remove_error);
        }
    }
}

}  // namespace

HRESULT STDMETHODCALLTYPE UpdaterCallback::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IUpdaterCallback)) {
        *object = static_cast<IUpdaterCallback*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE UpdaterCallback::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
}

ULONG STDMETHODCALLTYPE UpdaterCallback::Release() {
    return static_cast<ULONG>(InterlockedDecrement(&references_));
}

void UpdaterCallback::Post(DownloadEvent::Kind kind, std::string file, std::int64_t value) {
    if (!reports_)
        return;
    dialog_.PostEvent({kind, channel_, std::move(file), value});
}

HRESULT STDMETHODCALLTYPE UpdaterCallback::UpdateBegin(long files, long bytes) {
    Trace("UpdateBegin");
    Post(DownloadEvent::Kind::kUpdateBegin, {}, bytes);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE UpdaterCallback::DownloadStarting(BSTR file, long size) {
    Trace("DownloadStarting");
    Post(DownloadEvent::Kind::kDownloadStarting, NarrowText(file), size);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE UpdaterCallback::DownloadProgress(BSTR file, long received, long size,
                                                            VARIANT_BOOL* go_on) {
    Trace("DownloadProgress");
    Post(DownloadEvent::Kind::kDownloadProgress, NarrowText(file), received);
    if (go_on != nullptr)
        *go_on = dialog_.flow().IsFailed(channel_) ? VARIANT_FALSE : VARIANT_TRUE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE UpdaterCallback::DownloadFinished(BSTR file, long size) {
    Trace("DownloadFinished");
    Post(DownloadEvent::Kind::kDownloadFinished, NarrowText(file), size);
    // Every file received is in the activity log at once, window or not.
    dialog_.app().log().WriteEntry(0, NarrowText(file), "(none)", "Updated", "(none)", -1);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE UpdaterCallback::UpdateComplete(long, long) {
    Trace("UpdateComplete");
    return S_OK;
}

HRESULT STDMETHODCALLTYPE UpdaterCallback::UpdateProgress(long, long, long, long,
                                                          VARIANT_BOOL* go_on) {
    Trace("UpdateProgress");
    Post(DownloadEvent::Kind::kUpdateProgress, {}, 0);
    if (go_on != nullptr)
        *go_on = dialog_.flow().IsFailed(channel_) ? VARIANT_FALSE : VARIANT_TRUE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE UpdaterCallback::UpdateError(long code, BSTR file, BSTR message,
                                                       VARIANT_BOOL*) {
    Trace("Error processing file \"" + NarrowText(file) + "\" (" + std::to_string(code) +
          "): " + NarrowText(message));
    dialog_.flow().MarkFailed(channel_);
    return S_OK;
}

CUpdateDownloadDlg::CUpdateDownloadDlg(CPelloryApp& app, DownloadRunKind kind, bool no_question)
    : Dialog(IDD_UPDATE_DOWNLOAD), app_(app), flow_(*this, kind, no_question, app.restricted()) {
    const std::string temp = TempFolder();
    const auto suite = SuiteFolder();
    app_folders_[IndexOf(UpdateChannel::kCore)] = app.install_folder() + "core";
    app_folders_[IndexOf(UpdateChannel::kProgram)] = app.install_folder();
    app_folders_[IndexOf(UpdateChannel::kSuite)] = suite.value_or(std::string());
    flow_.SetChannelExists(UpdateChannel::kSuite, suite.has_value());
    for (const ChannelDescription& channel : kUpdateChannels) {
        temp_folders_[IndexOf(channel.channel)] = temp + channel.temp_folder;
        callbacks_[IndexOf(channel.channel)] =
            std::make_unique<UpdaterCallback>(*this, channel.channel);
        callbacks_[IndexOf(channel.channel)]->SetReportsToWindow(!flow_.automatic_apply());
    }

    OnClicked(IDC_DOWNLOAD_BUTTON, [this] { flow_.OnButton(); });
    OnClicked(IDC_DOWNLOAD_NEXT, [this] { OnNext(); });
    OnMessage(kDownloadEventMessage, [this](WPARAM, LPARAM) -> LRESULT {
        DrainEvents();
        return 0;
    });
    OnMessage(kWorkerEndedMessage, [this](WPARAM, LPARAM) -> LRESULT {
        OnWorkerEnded();
        return 0;
    });
    OnMessage(kStartRunMessage, [this](WPARAM, LPARAM) -> LRESULT {
        StartRun();
        return 0;
    });
    OnMessage(kChecksDoneMessage, [this](WPARAM, LPARAM) -> LRESULT {
        OnChecksDone();
        return 0;
    });
    // The automatic-apply run stays hidden whatever tries to show it (a
    // modal dialog shows itself once its loop runs).
    if (flow_.hidden()) {
        OnMessage(WM_WINDOWPOSCHANGING, [](WPARAM, LPARAM lparam) -> LRESULT {
            reinterpret_cast<WINDOWPOS*>(lparam)->flags &= ~SWP_SHOWWINDOW;
            return 0;
        });
    }
}

CUpdateDownloadDlg::~CUpdateDownloadDlg() {
    if (worker_.joinable())
        worker_.join();
    ReleaseUpdaters();
}

void CUpdateDownloadDlg::PostEvent(DownloadEvent event) {
    const HWND window = window_.load();
    if (window == nullptr)
        return;
    {
        std::lock_guard lock(events_mutex_);
        events_.push_back(std::move(event));
    }
    PostMessageW(window, kDownloadEventMessage, 0, 0);
}

bool CUpdateDownloadDlg::OnInitDialog() {
    window_.store(handle());
    if (flow_.hidden()) {
        Trace("Setting the window style to invisible");
        SetWindowPos(handle(), nullptr, 0, 0, 1, 1, SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOZORDER);
    }
    const HDC dc = GetDC(handle());
    title_font_ = ui::CreatePointFontFromResources(IDS_FONT_FACE, IDS_FONT_POINTS, FW_NORMAL, false,
                                                   dc, instance());
    ReleaseDC(handle(), dc);
    if (title_font_)
        SendMessageW(Item(IDC_DOWNLOAD_TITLE), WM_SETFONT,
                     reinterpret_cast<WPARAM>(title_font_.get()), TRUE);
    ShowItem(IDC_DOWNLOAD_PROGRESS, false);
    flow_.Open();
    if (app_.restricted())
        EnableItem(IDC_DOWNLOAD_NEXT, false);
    // Started once the window shows, so that it shows its progress.
    if (flow_.starts_by_itself())
        PostMessageW(handle(), kStartRunMessage, 0, 0);
    return true;
}

void CUpdateDownloadDlg::OnSize(UINT, int, int) {
    if (flow_.hidden() && IsWindowVisible(handle()))
        ShowWindow(handle(), SW_HIDE);
}

void CUpdateDownloadDlg::OnCancel() {
    flow_.OnCloseRequest();
}

void CUpdateDownloadDlg::OnDestroy() {
    window_.store(nullptr);
    if (check_)
        check_->window.store(nullptr);
}

void CUpdateDownloadDlg::StartRunClock() {
    if (run_clock_started_)
        return;
    run_clock_started_ = true;
    SetTimer(handle(), kRunLimitTimer, RunTimeLimitMs(), nullptr);
}

void CUpdateDownloadDlg::OnTimer(UINT_PTR timer_id) {
    if (timer_id != kRunLimitTimer)
        return;
    KillTimer(handle(), kRunLimitTimer);
    Trace("The update has run out of time.");
    flow_.OnTimeLimit();
}

void CUpdateDownloadDlg::StartRun() {
    if (!InitUpdaters(false)) {
        End();
        return;
    }
    if (flow_.no_question())
        DoUpdate();
    else
        DoSilentUpdate();
}

void CUpdateDownloadDlg::OnNext() {
    if (app_.restricted())
        return;
    if (!InitUpdaters(true)) {
        End();
        return;
    }
    flow_.OnNext();
    DoUpdate();
}

ChannelUrls CUpdateDownloadDlg::GetChannelUrls() const {
    std::string text;
    const bool read = RetryWithBackoff(kReadAttempts, [&] {
        // Opened by its bare name in the install folder, made when missing.
        const HANDLE file =
            CreateFileA(kChannelUrlsFileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return AttemptResult::kRetry;
        CloseHandle(file);
        const FileBytes bytes = ReadWholeFile(kChannelUrlsFileName, 64 * 1024);
        if (!bytes)
            return AttemptResult::kRetry;
        text.assign(bytes.bytes.begin(), bytes.bytes.end());
        return AttemptResult::kDone;
    });
    if (!read)
        Trace("updateurls.ini could not be read");
    if (const auto urls = ParseChannelUrls(text))
        return *urls;
    ChannelUrls urls;
    std::string* const targets[] = {&urls.core, &urls.program, &urls.suite};
    for (const ChannelDescription& channel : kUpdateChannels) {
        std::string& url = *targets[IndexOf(channel.channel)];
        if (!GetUrl(channel.url_table_key, url) || url.empty())
            url = kDefaultChannelUrls[IndexOf(channel.channel)];
    }
    return urls;
}

void CUpdateDownloadDlg::ReleaseUpdaters() {
    for (auto& updater : updaters_)
        updater.Reset();
}

bool CUpdateDownloadDlg::InitUpdaters(bool someone_waits) {
    const auto report = [&](const std::wstring& text) {
        if (someone_waits)
            app_.ShowMessage(text, handle());
        else
            app_.LogProblem(text);
    };
    const ChannelUrls urls = GetChannelUrls();
    const std::string* const channel_urls[] = {&urls.core, &urls.program, &urls.suite};
    const CProxySettings& proxy = app_.proxy_settings();
    // The engine opens its sessions now: a proxy typed into the proxy window
    // must be in place before.
    RouteDownloadsThroughProxy(proxy);
    const Bstr user(proxy.account());
    const Bstr password(proxy.password());
    for (const ChannelDescription& channel : kUpdateChannels) {
        const std::size_t i = IndexOf(channel.channel);
        if (!flow_.ChannelExists(channel.channel))
            continue;
        updaters_[i].Reset();
        if (FAILED(CoCreateInstance(CLSID_Updater, nullptr,
                                    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_IUpdater,
                                    updaters_[i].PutVoid()))) {
            ReleaseUpdaters();
            report(app_.Text(IDS_COMPONENT_NOT_INSTALLED));
            return false;
        }
        long code = 0;
        std::wstring reason;
        bool ready = false;
        if (channel_urls[i]->empty()) {
            // The engine would fall back to its own address: a channel that
            // "updateurls.ini" leaves without one is not ready.
            reason = WidenText(std::string(channel.url_file_key) + " is not set in " +
                               kChannelUrlsFileName);
            code = -1;
        } else {
            VARIANT_BOOL ok = VARIANT_FALSE;
            updaters_[i]->InitializeEx(Bstr(app_folders_[i]).get(), Bstr(*channel_urls[i]).get(),
                                       80, user.get(), password.get(), &ok);
            ready = ok == VARIANT_TRUE;
            if (!ready) {
                Bstr text;
                updaters_[i]->get_bsLastError(text.Put());
                updaters_[i]->get_nLastError(&code);
                reason = text.get() != nullptr ? std::wstring(text.get()) : std::wstring();
            }
        }
        if (!ready) {
            ReleaseUpdaters();
            report(FillIn(app_.Text(IDS_UPDATER_INIT_FAILED), code, reason));
            return false;
        }
    }
    flow_.ResetChannels();
    return true;
}

void CUpdateDownloadDlg::StartCheck() {
    // The thread holds its own references to the updaters and to what it
    // shares with the window: a window closed meanwhile frees nothing it uses.
    std::vector<com::ComPtr<IUpdater>> updaters;
    for (const ChannelDescription& channel : kUpdateChannels) {
        const std::size_t i = IndexOf(channel.channel);
        if (flow_.ChannelExists(channel.channel) && updaters_[i])
            updaters.push_back(updaters_[i]);
    }
    if (check_)
        check_->window.store(nullptr);  // an earlier check that was given up
    check_ = std::make_shared<ChannelCheckState>();
    check_->window.store(handle());
    std::thread([state = check_, updaters = std::move(updaters)]() mutable {
        const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        std::vector<ChannelCheck> checks;
        for (const auto& updater : updaters) {
            ChannelCheck check{-1, 0};
            if (FAILED(updater->CheckForUpdates(&check.count, &check.bytes)))
                check.count = -1;
            checks.push_back(check);
        }
        updaters.clear();
        {
            std::lock_guard lock(state->mutex);
            state->checks = std::move(checks);
        }
        if (const HWND window = state->window.load())
            PostMessageW(window, kChecksDoneMessage, 0, 0);
        if (com)
            CoUninitialize();
    }).detach();
}

void CUpdateDownloadDlg::OnChecksDone() {
    if (!check_)
        return;
    std::vector<ChannelCheck> checks;
    {
        std::lock_guard lock(check_->mutex);
        checks = std::move(check_->checks);
    }
    check_.reset();
    if (flow_.automatic_apply() && !flow_.no_question())
        flow_.OnSilentChecked(checks);
    else
        flow_.OnChecked(checks);
}

void CUpdateDownloadDlg::DoUpdate() {
    if (app_.restricted())
        return;
    StartRunClock();
    flow_.BeginCheck();
    StartCheck();
}

void CUpdateDownloadDlg::DoSilentUpdate() {
    if (app_.restricted())
        return;
    StartRunClock();
    flow_.BeginSilentCheck();
    StartCheck();
}

void CUpdateDownloadDlg::StartWorker() {
    if (worker_.joinable())
        worker_.join();
    const HWND window = handle();
    worker_ = std::thread([this, window] {
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
        UpdateThread();
        PostMessageW(window, kWorkerEndedMessage, 0, 0);
    });
}

void CUpdateDownloadDlg::UpdateThread() {
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    if (!flow_.AllExistingFailed()) {
        for (const std::string& folder : temp_folders_)
            CreateDirectoryA(folder.c_str(), nullptr);
        for (const ChannelDescription& channel : kUpdateChannels) {
            const std::size_t i = IndexOf(channel.channel);
            if (!flow_.ChannelExists(channel.channel) || flow_.IsFailed(channel.channel) ||
                !updaters_[i])
                continue;
            RemoveStaleDownloads(temp_folders_[i]);
            long received = 0;
            if (FAILED(updaters_[i]->DownloadUpdates(Bstr(temp_folders_[i]).get(),
                                                     callbacks_[i].get(), &received)))
                flow_.MarkFailed(channel.channel);
        }
    }
    if (com)
        CoUninitialize();
}

void CUpdateDownloadDlg::DrainEvents() {
    std::deque<DownloadEvent> events;
    {
        std::lock_guard lock(events_mutex_);
        events.swap(events_);
    }
    const ui::ProgressBar progress(handle(), IDC_DOWNLOAD_PROGRESS);
    for (const DownloadEvent& event : events) {
        switch (event.kind) {
            case DownloadEvent::Kind::kUpdateBegin:
                flow_.OnUpdateBegin(event.channel, event.value);
                break;
            case DownloadEvent::Kind::kDownloadStarting:
                progress.SetRange(0, static_cast<int>(event.value));
                SendMessageW(progress.handle(), PBM_SETSTEP, 1, 0);
                progress.SetPosition(0);
                break;
            case DownloadEvent::Kind::kDownloadProgress:
                flow_.OnFileProgress(event.file);
                progress.SetPosition(static_cast<int>(event.value));
                break;
            case DownloadEvent::Kind::kDownloadFinished:
                flow_.OnFileFinished(event.channel, event.value);
                break;
            case DownloadEvent::Kind::kUpdateProgress:
                flow_.OnUpdateProgress();
                break;
        }
    }
}

void CUpdateDownloadDlg::OnWorkerEnded() {
    if (worker_.joinable())
        worker_.join();
    // What the callbacks posted last is shown before the outcome.
    DrainEvents();
    flow_.OnWorkerEnded();
}

void CUpdateDownloadDlg::ShowStatus(DownloadStatus status, const std::string& file) {
    UINT id = 0;
    switch (status) {
        case DownloadStatus::kReady:
            return;  // the template's own text
        case DownloadStatus::kChecking:
            id = IDS_STATUS_CHECKING;
            break;
        case DownloadStatus::kCheckFailed:
            id = IDS_CHECK_FAILED;
            break;
        case DownloadStatus::kUpToDate:
            id = IDS_STATUS_UP_TO_DATE;
            break;
        case DownloadStatus::kDownloading:
        case DownloadStatus::kDownloadingFile:
            id = IDS_STATUS_DOWNLOADING;
            break;
        case DownloadStatus::kFilesReceived:
            id = IDS_STATUS_FILES_RECEIVED;
            break;
        case DownloadStatus::kStopping:
            id = IDS_STATUS_STOPPING;
            break;
        case DownloadStatus::kCancelled:
            id = IDS_STATUS_CANCELLED;
            break;
        case DownloadStatus::kRestartNeeded:
            id = IDS_STATUS_RESTART_NEEDED;
            break;
    }
    std::wstring text = app_.Text(id);
    if (status == DownloadStatus::kDownloadingFile)
        text += WidenText(file);
    SetItemText(IDC_DOWNLOAD_STATUS, text);
}

void CUpdateDownloadDlg::ShowButton(DownloadButton button) {
    const UINT id = button == DownloadButton::kCancel  ? IDS_BUTTON_CANCEL
                    : button == DownloadButton::kApply ? IDS_BUTTON_APPLY
                                                       : IDS_BUTTON_CLOSE;
    SetItemText(IDC_DOWNLOAD_BUTTON, app_.Text(id));
}

void CUpdateDownloadDlg::ShowNext(bool shown) {
    ShowItem(IDC_DOWNLOAD_NEXT, shown);
    EnableItem(IDC_DOWNLOAD_NEXT, shown && !app_.restricted());
}

void CUpdateDownloadDlg::ShowProgress(bool shown) {
    ShowItem(IDC_DOWNLOAD_PROGRESS, shown);
}

namespace {

class CNewUpdatesDlg : public ui::Dialog {
  public:
    CNewUpdatesDlg() : Dialog(IDD_NEW_UPDATES) {}
};

}  // namespace

bool CUpdateDownloadDlg::ConfirmApply(bool ask) {
    const bool main_program = FindWindowA(nullptr, kMainProgramTitle) != nullptr;
    const HANDLE scanner = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, kScannerWindowMutex);
    if (scanner != nullptr)
        CloseHandle(scanner);
    // The updater does not keep scans out while it waits on the network, so
    // one may have started since; the update utility would end it.
    const HANDLE activity = OpenMutexA(SYNCHRONIZE, FALSE, kPestActivityMutexName);
    const bool scan_running = activity != nullptr || GetLastError() == ERROR_ACCESS_DENIED;
    if (activity != nullptr)
        CloseHandle(activity);
    if (!main_program && scanner == nullptr && !scan_running)
        return true;
    // Unasked, a scan or clean is never cut short: the next run applies.
    if (!ask)
        return !scan_running;
    CNewUpdatesDlg question;
    return question.RunModal(handle()) == IDOK;
}

void CUpdateDownloadDlg::StartUpdateUtility() {
    app_.StartUpdateUtility();
}

void CUpdateDownloadDlg::End() {
    // Never while the worker runs: its callbacks still report here.
    if (flow_.worker_running())
        return;
    Dialog::End(flow_.completed() ? 1 : 0);
}

}  // namespace olvex
