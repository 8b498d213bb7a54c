#include "client/update/pellory_app.h"

#include <winsock2.h>
#include <objbase.h>

#include <array>
#include <clocale>
#include <cstdio>
#include <ctime>

#include "client/common/com_text.h"
#include "client/common/client_environment.h"
#include "client/common/download_proxy.h"
#include "client/common/engine_registrar.h"
#include "client/common/program_launcher.h"
#include "client/common/ui/controls.h"
#include "client/update/pellory_dialog.h"
#include "client/update/pellory_resources.h"
#include "client/update/update_download_dialog.h"
#include "olvex/core/file_io.h"

namespace olvex {
namespace {

constexpr char kTempFileName[] = "tempu.tmp";
constexpr int kSettingsAttempts = 5;

void Trace(const std::string& text) {
    OutputDebugStringA(("Pellory: " + text + "\n").c_str());
}

std::wstring WithPath(std::wstring format, const std::string& path) {
    const std::size_t at = format.find(L"%s");
    if (at != std::wstring::npos)
        format.replace(at, 2, WidenText(path));
    return format;
}

// Writes the whole text afresh; false when it could not.
bool WriteWholeText(const std::string& path, const std::string& text) {
    FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr)
        return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace

CPelloryApp::CPelloryApp(HINSTANCE instance) : app_(instance) {}

CPelloryApp::~CPelloryApp() {
    if (com_)
        CoUninitialize();
    if (sockets_)
        WSACleanup();
}

std::int64_t CPelloryApp::Now() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

void CPelloryApp::ShowMessage(const std::wstring& text, HWND owner) const {
    app_.MessageBoxText(text, MB_OK | MB_ICONEXCLAMATION, owner);
}

void CPelloryApp::ShowResourceMessage(UINT id, HWND owner) const {
    ShowMessage(Text(id), owner);
}

void CPelloryApp::Run(const std::vector<std::string>& parameters) {
    if (!StartUp(parameters))
        return;
    // The claim kept this run from starting during a scan. It is not held
    // while the run waits on update servers, which may take long, so that
    // the scans of the other programs are never kept waiting for it; before
    // the downloads are applied the window looks again (ConfirmApply).
    pest_activity_ = NamedMutex{};
    CPelloryDlg main_dialog(*this);
    UpdaterSettings settings = LoadSettings();
    const StartupDecision decision = DecideStartup(command_line_, Now(), settings);
    bool checked = false;
    switch (decision.action) {
        case StartupAction::kShowMainDialog:
            main_dialog.RunModal();
            return;
        case StartupAction::kSilentUpdate:
            silent_ = true;
            checked = RunUpdate();
            break;
        case StartupAction::kPromptedUpdate:
            checked = RunUpdate();
            break;
        case StartupAction::kAutoApply:
            checked = RunAutoApplyUpdate();
            break;
        case StartupAction::kNothing:
            Trace("It hasn't been a day since the last update.");
            return;
    }
    if (decision.records_update && checked && UtilityApplied()) {
        settings = LoadSettings();
        settings.last_update = Now();
        SaveSettings(settings);
    }
}

bool CPelloryApp::StartUp(const std::vector<std::string>& parameters) {
    // Read first, checked in step 8: a run with an option has nobody to
    // answer the boxes of the steps before.
    command_line_ = ParsePelloryCommandLine(parameters);

    // 1. The install folder becomes the current folder.
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProductRegistryKey, 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        std::array<char, MAX_PATH + 1> value{};
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(value.size() - 1);
        if (RegQueryValueExA(key, kInstallPathValue, nullptr, &type,
                             reinterpret_cast<BYTE*>(value.data()), &size) == ERROR_SUCCESS &&
            type == REG_SZ)
            SetCurrentDirectoryA(value.data());
        RegCloseKey(key);
    }
    std::array<char, MAX_PATH + 1> current{};
    const DWORD length = GetCurrentDirectoryA(MAX_PATH, current.data());
    if (length == 0 || length > MAX_PATH) {
        ReportProblem(Text(IDS_NO_STARTUP_FOLDER));
        return false;
    }
    install_folder_ = JoinPath(current.data(), "");

    // 2. One copy at a time; a second ends without a word.
    if (app_.ClaimSingleInstance(kPelloryInstanceMutexName) != MutexClaim::kClaimed)
        return false;

    // 3.
    if (!CheckWriteAccess())
        return false;

    // 4.
    WSADATA sockets{};
    if (WSAStartup(MAKEWORD(1, 1), &sockets) != 0) {
        ReportProblem(Text(IDS_SOCKETS_FAILED));
        return false;
    }
    sockets_ = true;
    ui::EnsureCommonControls();
    std::setlocale(LC_ALL, "");

    // 5. A short name left by an old installer.
    MoveFileA((install_folder_ + "Dunmer~1.exe").c_str(),
              (install_folder_ + "Dunmere.exe").c_str());

    // 6, 7.
    if (!EnsureEngine() || !PrepareProductFolder())
        return false;

    // 8.
    if (command_line_.invalid) {
        ShowResourceMessage(IDS_INVALID_PARAMETER);
        return false;
    }
    install_update_ = command_line_.installupdate;
    proxy_settings_.Load(install_folder_, kProxySettingsFileName);

    // 9. No update while a scan or clean runs, and no scan while we update.
    pest_activity_ = ClaimNamedMutex(kPestActivityMutexName);
    if (pest_activity_.claim != MutexClaim::kClaimed) {
        if (!command_line_.any_option())
            ShowResourceMessage(IDS_PEST_ACTIVITY);
        return false;
    }
    com_ = SUCCEEDED(CoInitialize(nullptr));
    return true;
}

bool CPelloryApp::CheckWriteAccess() {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProductRegistryKey, 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) == ERROR_SUCCESS)
        RegCloseKey(key);
    else
        restricted_ = true;
    if (!restricted_ && !CanCreateFile(kTempFileName))
        restricted_ = true;
    if (!restricted_) {
        const auto common = CurrentClientFolders().CommonAppData();
        if (!common) {
            ReportProblem(Text(IDS_NO_COMMON_APPDATA));
            return false;
        }
        if (!CanCreateFile(*common + "\\" + kTempFileName))
            restricted_ = true;
    }
    if (restricted_) {
        ReportProblem(Text(IDS_RESTRICTED_ACCOUNT));
        return false;
    }
    return true;
}

bool CPelloryApp::EnsureEngine() {
    const SharedEngineFolder shared = MakeSharedEngineFolder();
    if (!shared.path) {
        if (shared.error == 0) {
            ReportProblem(Text(IDS_NO_PROGRAM_FILES));
        } else {
            ReportProblem(SharedEngineFolderErrorText(shared.error));
        }
        return false;
    }
    const CEngineRegistrar registrar;
    if (!registrar.EnsureCurrentEngine(kProductVersionKeyName, install_folder_ + kEngineDllName,
                                       JoinPath(*shared.path, kEngineDllName))) {
        ReportProblem(Text(IDS_ENGINE_DAMAGED));
        return false;
    }
    return true;
}

bool CPelloryApp::PrepareProductFolder() {
    const ProductFolder folder = MakeProductDataFolder();
    switch (folder.error) {
        case ProductFolderError::kNone:
            break;
        case ProductFolderError::kNoCommonAppData:
            ReportProblem(Text(IDS_NO_PERSONAL_DATA));
            return false;
        case ProductFolderError::kCompanyFolder:
            ReportProblem(Text(IDS_NO_COMPANY_SUBFOLDER));
            return false;
        case ProductFolderError::kProductFolder:
            ReportProblem(Text(IDS_NO_APPLICATION_SUBFOLDER));
            return false;
    }
    product_folder_ = folder.path;
    log_.SetPath(product_folder_ + std::string(kActivityLogFileName));
    return true;
}

void CPelloryApp::ReportProblem(const std::wstring& text, HWND owner) const {
    if (command_line_.any_option() && !command_line_.invalid)
        LogProblem(text);
    else
        ShowMessage(text, owner);
}

void CPelloryApp::LogProblem(const std::wstring& text) const {
    Trace(NarrowText(text));
    if (log_.GetPath().empty()) {
        // A problem before the start-up made the product folder: logged where
        // that folder exists already; none is made for it.
        if (const auto common = CurrentClientFolders().CommonAppData()) {
            const std::string folder =
                JoinPath(JoinPath(*common, kCompanyFolderName), kProductFolderName);
            const DWORD attributes = GetFileAttributesA(folder.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
                log_.SetPath(JoinPath(folder, std::string(kActivityLogFileName)));
        }
    }
    log_.WriteEntry(0, NarrowText(text), "(none)", "Update problem", "(none)", -1);
}

std::string CPelloryApp::SettingsFolder(HWND owner) const {
    const ProductFolder folder = MakeProductDataFolder();
    switch (folder.error) {
        case ProductFolderError::kNone:
            return folder.path;
        case ProductFolderError::kNoCommonAppData:
            ReportProblem(Text(IDS_NO_COMMON_APPDATA), owner);
            break;
        case ProductFolderError::kCompanyFolder:
            ReportProblem(Text(IDS_SETTINGS_COMPANY_FOLDER), owner);
            break;
        case ProductFolderError::kProductFolder:
            ReportProblem(Text(IDS_SETTINGS_PRODUCT_FOLDER), owner);
            break;
    }
    return {};
}

UpdaterSettings CPelloryApp::LoadSettings(HWND owner) const {
    const std::string folder = SettingsFolder(owner);
    if (folder.empty())
        return {};
    const std::string path = folder + kUpdaterSettingsFileName;
    std::string text;
    const bool read = RetryWithBackoff(kSettingsAttempts, [&] {
        // Opened for reading, made when missing, never truncated.
        const HANDLE file =
            CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return AttemptResult::kRetry;
        CloseHandle(file);
        const FileBytes bytes = ReadWholeFile(path, 64 * 1024);
        if (!bytes)
            return AttemptResult::kRetry;
        text.assign(bytes.bytes.begin(), bytes.bytes.end());
        return AttemptResult::kDone;
    });
    // A file that cannot be read (or is far too large to be ours) gives the
    // defaults; the next save writes a good one.
    if (!read && !restricted_)
        ReportProblem(WithPath(Text(IDS_FILE_ERROR), path), owner);
    return ParseUpdaterSettings(text);
}

void CPelloryApp::SaveSettings(const UpdaterSettings& settings, HWND owner) const {
    const std::string folder = SettingsFolder(owner);
    if (folder.empty())
        return;
    const std::string path = folder + kUpdaterSettingsFileName;
    const std::string text = FormatUpdaterSettings(settings);
    if (!RetryWithBackoff(kSettingsAttempts, [&] {
            return WriteWholeText(path, text) ? AttemptResult::kDone : AttemptResult::kRetry;
        }))
        ReportProblem(WithPath(Text(IDS_FILE_ERROR), path), owner);
}

void CPelloryApp::StartUpdateUtility() {
    // Not waited for here: it closes this program's windows before it
    // applies. A run that records its update waits for it later. The
    // programs it starts again inherit nothing of our download routing.
    EndDownloadProxyRouting();
    utility_ =
        StartProgram(install_folder_ + kUpdateUtilityName, install_update_ ? "/installupdate" : "");
    if (!utility_)
        Trace("the update utility could not be started");
}

bool CPelloryApp::UtilityApplied() {
    if (!utility_)
        return true;
    const HANDLE process = utility_->process.get();
    DWORD code = 1;
    if (WaitForSingleObject(process, kUpdateUtilityWaitMs) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process, &code) || code != 0) {
        Trace("the update utility did not apply the update");
        return false;
    }
    return true;
}

bool CPelloryApp::RunUpdate() {
    CUpdateDownloadDlg dialog(*this, DownloadRunKind::kRunUpdate, silent_);
    dialog.RunModal();
    return dialog.completed();
}

bool CPelloryApp::RunAutoApplyUpdate() {
    CUpdateDownloadDlg dialog(*this, DownloadRunKind::kAutoApply, false);
    dialog.RunModal();
    return dialog.completed();
}

}  // namespace olvex
