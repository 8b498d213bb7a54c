#include "client/update/dunmere_app.h"

#include <objbase.h>
#include <tlhelp32.h>

#include <direct.h>

#include <cstdio>
#include <map>

#include "client/common/com_text.h"
#include "client/common/client_environment.h"
#include "client/common/engine_registrar.h"
#include "client/common/program_launcher.h"
#include "client/common/unique_handle.h"
#include "client/common/url_lookup.h"
#include "client/update/download_flow.h"
#include "client/update/dunmere_resources.h"
#include "olvex/update/swap_stub_names.h"

namespace olvex {
namespace {

namespace uu = update_utility;

void Trace(const std::string& text) {
    OutputDebugStringA(("Dunmere: " + text + "\n").c_str());
}

std::string RegistryString(HKEY root, const char* key_name, const char* value_name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, key_name, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return {};
    char value[MAX_PATH + 1] = {};
    DWORD type = 0;
    DWORD size = MAX_PATH;
    const bool found = RegQueryValueExA(key, value_name, nullptr, &type,
                                        reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS &&
                       type == REG_SZ;
    RegCloseKey(key);
    return found ? std::string(value) : std::string();
}

bool EqualsIgnoringCase(const char* a, const char* b) {
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a, -1, b, -1) == CSTR_EQUAL;
}

bool SwapStubMutexExists() {
    const UniqueHandle mutex(OpenMutexA(SYNCHRONIZE, FALSE, kSwapStubMutexName));
    return static_cast<bool>(mutex);
}

// A stub just started may not have made its mutex yet: its process counts too.
bool SwapStubProcessRuns() {
    const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return false;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot.get(), &entry); more;
         more = Process32Next(snapshot.get(), &entry)) {
        if (EqualsIgnoringCase(entry.szExeFile, kSwapStubFileName))
            return true;
    }
    return false;
}

// The other programs' windows, through the system. Every wait pumps the
// utility's messages.
class SystemProgramWindows final : public uu::ProgramWindows {
  public:
    explicit SystemProgramWindows(CDunmereApp& app) : app_(app) {}

    WindowId Find(const std::string& title) override {
        return reinterpret_cast<WindowId>(FindWindowA(nullptr, title.c_str()));
    }

    bool SendClose(WindowId id) override {
        const HWND window = reinterpret_cast<HWND>(id);
        // Its process, taken while the window exists, is waited for once the
        // window has gone.
        if (processes_.find(id) == processes_.end()) {
            DWORD process_id = 0;
            GetWindowThreadProcessId(window, &process_id);
            processes_[id] = UniqueHandle(OpenProcess(SYNCHRONIZE, FALSE, process_id));
        }
        // A hung program answers nothing; the system then stops waiting for
        // it at once on every later send.
        DWORD_PTR result = 0;
        return SendMessageTimeoutA(window, WM_CLOSE, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                                   uu::kCloseAnswerMs, &result) != 0;
    }

    void WaitForProgramEnd(WindowId id, unsigned timeout_ms) override {
        const auto found = processes_.find(id);
        if (found == processes_.end() || !found->second)
            return;
        const HANDLE process = found->second.get();
        if (!app_.PumpingWait(&process, 1, timeout_ms))
            Trace("a closed program did not end in time");
    }

    void Sleep(unsigned milliseconds) override { app_.PumpingSleep(milliseconds); }

  private:
    CDunmereApp& app_;
    std::map<WindowId, UniqueHandle> processes_;
};

}  // namespace

CDunmereApp::CDunmereApp(HINSTANCE instance, NamedMutex instance_mutex)
    : app_(instance), instance_mutex_(std::move(instance_mutex)) {}

CDunmereApp::~CDunmereApp() {
    ReleaseEngine();
}

bool CDunmereApp::PumpingWait(const HANDLE* handles, DWORD count, DWORD timeout_ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        const DWORD remaining = elapsed >= timeout_ms ? 0 : timeout_ms - elapsed;
        const DWORD result =
            MsgWaitForMultipleObjects(count, handles, FALSE, remaining, QS_ALLINPUT);
        if (count > 0 && result < WAIT_OBJECT_0 + count)
            return true;
        if (result == WAIT_OBJECT_0 + count) {
            app_.PumpMessages();
            continue;
        }
        if (result == WAIT_TIMEOUT || remaining == 0)
            return false;
        // WAIT_FAILED (a handle gone bad): sleep out the rest without it.
        if (count > 0)
            return PumpingWait(nullptr, 0, remaining);
        return false;
    }
}

int CDunmereApp::Run(const std::vector<std::string>& arguments) {
    // 1. The install folder becomes the current folder.
    const std::string install_path =
        RegistryString(HKEY_LOCAL_MACHINE, kProductRegistryKey, kInstallPathValue);
    if (!install_path.empty())
        SetCurrentDirectoryA(install_path.c_str());
    char current[MAX_PATH + 1] = {};
    const DWORD length = GetCurrentDirectoryA(MAX_PATH, current);
    if (length == 0 || length > MAX_PATH)
        return uu::kExitNotRun;
    install_folder_ = JoinPath(current, "");
    char temp[MAX_PATH + 1] = {};
    const DWORD temp_length = GetTempPathA(MAX_PATH, temp);
    // Without it there is nothing to apply (and no folder to make elsewhere).
    if (temp_length == 0 || temp_length > MAX_PATH)
        return uu::kExitNotRun;
    temp_folder_ = JoinPath(temp, "");

    // 2. The status window, painted before anything slow happens.
    status_ = std::make_unique<CApplyUpdatesStatusDlg>();
    if (status_->CreateModeless()) {
        ShowWindow(status_->handle(), SW_SHOW);
        UpdateWindow(status_->handle());
    }
    const HCURSOR arrow = LoadCursor(nullptr, IDC_ARROW);
    SetCursor(LoadCursor(nullptr, IDC_WAIT));
    app_.PumpMessages();

    // 3. Another copy runs: it does the work.
    // 4. An account that may not write here ends the run without a word.
    if (instance_mutex_.claim != MutexClaim::kClaimed || !CheckWriteAccess()) {
        SetCursor(arrow);
        EndRun();
        return uu::kExitNotRun;
    }

    // 5. A damaged engine that cannot be repaired ends the run quietly.
    if (!EnsureEngine()) {
        SetCursor(arrow);
        EndRun();
        return uu::kExitNotRun;
    }

    // 6.
    app_.CreateMainWindow(app_.LoadResourceString(IDS_DUNMERE_MAIN_TITLE));
    com_ = SUCCEEDED(CoInitialize(nullptr));

    // 7.
    if (!CreateUpdaters()) {
        SetCursor(arrow);
        EndRun();
        return uu::kExitNotRun;
    }

    // 8.
    for (const ChannelDescription& channel : kUpdateChannels)
        _mkdir((temp_folder_ + channel.temp_folder).c_str());

    // 9.
    const uu::Options options = uu::ParseCommandLine(arguments);

    // 10, 11.
    SystemProgramWindows windows(*this);
    const uu::CloseOutcome closed = uu::ClosePrograms(windows);
    PumpingSleep(uu::kSettleMs);

    // 12. Then the engine is let go, so that a swap stub the apply started
    // can replace it, and the programs start only once it is done.
    const bool applied = ApplyUpdates();
    ReleaseEngine();
    WaitForSwapStub();
    // Only an update in place is one: a failed one leaves no trace that it
    // happened, and the next update tries again.
    if (applied)
        WriteUpdateHistory();

    // 13.
    const std::vector<std::string> restart = uu::ProgramsToRestart(closed, options);
    if (!options.installupdate) {
        PumpingSleep(uu::kRestartDelayMs);
        RestartPrograms(restart);
    }

    // 14.
    RemoveTempFolders();
    SetCursor(arrow);
    EndRun();
    return applied ? uu::kExitApplied : uu::kExitApplyFailed;
}

bool CDunmereApp::CheckWriteAccess() const {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProductRegistryKey, 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    if (!CanCreateFile(uu::kWriteTestFileName))
        return false;
    const auto common = CurrentClientFolders().CommonAppData();
    return common && CanCreateFile(JoinPath(*common, uu::kWriteTestFileName));
}

bool CDunmereApp::EnsureEngine() const {
    const SharedEngineFolder shared = MakeSharedEngineFolder();
    if (!shared.path) {
        if (shared.error == 0) {
            app_.MessageBoxFromResource(IDS_NO_PROGRAM_FILES, MB_OK | MB_ICONEXCLAMATION);
        } else {
            app_.MessageBoxText(SharedEngineFolderErrorText(shared.error),
                                MB_OK | MB_ICONEXCLAMATION);
        }
        return false;
    }
    const CEngineRegistrar registrar;
    return registrar.EnsureCurrentEngine(kProductVersionKeyName, install_folder_ + kEngineDllName,
                                         JoinPath(*shared.path, kEngineDllName));
}

bool CDunmereApp::CreateUpdaters() {
    static_assert(static_cast<std::size_t>(kChannels) == kUpdateChannelCount);
    const std::string suite_folder =
        RegistryString(HKEY_LOCAL_MACHINE, uu::kSuiteRegistryKey, uu::kSuitePathValue);
    const std::string app_folders[kChannels] = {install_folder_ + "core", install_folder_,
                                                suite_folder};
    for (int channel = 0; channel < kChannels; ++channel) {
        com::ComPtr<IUpdater>& updater = updaters_[channel];
        if (FAILED(CoCreateInstance(CLSID_Updater, nullptr,
                                    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_IUpdater,
                                    updater.PutVoid())) ||
            !updater) {
            app_.MessageBoxFromResource(IDS_ENGINE_NOT_INSTALLED, MB_OK | MB_ICONEXCLAMATION);
            return false;
        }
        // The suite's updater exists always, but works only where the suite
        // is installed.
        if (channel == kSuite && suite_folder.empty())
            continue;
        std::string url;
        if (!GetUrl(kUpdateChannels[channel].url_table_key, url) || url.empty())
            url = kDefaultChannelUrls[channel];
        VARIANT_BOOL ok = VARIANT_FALSE;
        if (FAILED(
                updater->Initialize(Bstr(app_folders[channel]).get(), Bstr(url).get(), 0, &ok)) ||
            ok != VARIANT_TRUE) {
            Bstr error;
            long code = 0;
            updater->get_bsLastError(error.Put());
            updater->get_nLastError(&code);
            std::wstring text = app_.LoadResourceString(IDS_UPDATER_INIT_FAILED);
            if (const auto at = text.find(L"%ld"); at != std::wstring::npos)
                text.replace(at, 3, std::to_wstring(code));
            if (const auto at = text.find(L"%s"); at != std::wstring::npos)
                text.replace(at, 2, error.get() != nullptr ? std::wstring(error.get()) : L"");
            app_.MessageBoxText(text, MB_OK | MB_ICONEXCLAMATION);
            return false;
        }
        initialized_[channel] = true;
    }
    return true;
}

bool CDunmereApp::ApplyUpdates() {
    bool all_applied = true;
    for (int channel = 0; channel < kChannels; ++channel) {
        LONG applied = 0;
        const char* const name = kUpdateChannels[channel].temp_folder;
        const Bstr folder(temp_folder_ + name);
        // Whatever failed stays due for the next update; an updater of a
        // suite that is not installed simply fails and is not counted.
        const HRESULT hr = updaters_[channel]->ApplyUpdates(folder.get(), &applied);
        Trace(std::string(name) + ": " + std::to_string(applied) + " applied");
        if (initialized_[channel]) {
            Bstr error;
            updaters_[channel]->get_bsLastError(error.Put());
            const std::string text =
                error.get() != nullptr ? NarrowText(std::wstring(error.get())) : std::string();
            if (FAILED(hr) || text != "Success.") {
                Trace(std::string(name) + ": " + text);
                all_applied = false;
            }
        }
        app_.PumpMessages();
    }
    return all_applied;
}

void CDunmereApp::WriteUpdateHistory() const {
    const ProductFolder folder = MakeProductDataFolder();
    if (folder.error != ProductFolderError::kNone) {
        Trace("no product folder for the update history");
        return;
    }
    const std::string path = folder.path + uu::kUpdateHistoryName;
    const std::string text = FormatCurrentDateTime(LOCALE_SYSTEM_DEFAULT) + "\n";
    FILE* file = std::fopen(path.c_str(), "w");
    const bool written =
        file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if ((file == nullptr || std::fclose(file) != 0 || !written))
        Trace("the update history could not be written");
}

void CDunmereApp::ReleaseEngine() {
    for (auto& updater : updaters_)
        updater.Reset();
    // The engine DLL goes now, not at the end of the program: the swap stub
    // waits for it. CoUninitialize alone does not unload it while something
    // else (the input method support of the windows) keeps COM initialised
    // on this thread.
    if (com_)
        CoFreeUnusedLibrariesEx(0, 0);
    if (com_) {
        CoUninitialize();
        com_ = false;
    }
}

void CDunmereApp::WaitForSwapStub() {
    const DWORD start = GetTickCount();
    while (SwapStubMutexExists() || SwapStubProcessRuns()) {
        if (GetTickCount() - start >= uu::kSwapStubWaitMs) {
            Trace("the swap stub still runs");
            return;
        }
        PumpingSleep(100);
    }
}

void CDunmereApp::RestartPrograms(const std::vector<std::string>& files) const {
    for (const std::string& file : files) {
        // Not waited for; a failed start is not reported.
        if (!StartProgram(install_folder_ + file, {}, install_folder_))
            Trace(file + " could not be started");
    }
}

void CDunmereApp::RemoveTempFolders() const {
    // Cut-off downloads are never of use; whatever else the apply left is
    // kept (the next download clears it), so only empty folders go.
    for (const ChannelDescription& channel : kUpdateChannels) {
        const std::string folder = temp_folder_ + channel.temp_folder;
        WIN32_FIND_DATAA found{};
        const HANDLE search = FindFirstFileA((folder + "\\olx*.tmp").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
                    DeleteFileA((folder + "\\" + found.cFileName).c_str());
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        _rmdir(folder.c_str());
    }
}

void CDunmereApp::EndRun() {
    if (status_ && status_->exists()) {
        ShowWindow(status_->handle(), SW_HIDE);
        status_->Destroy();
    }
    status_.reset();
}

}  // namespace olvex
