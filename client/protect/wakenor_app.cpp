#include "client/protect/wakenor_app.h"

#include <winsock2.h>
#include <objbase.h>

#include <array>
#include <clocale>
#include <cstdio>
#include <vector>

#include "client/common/client_environment.h"
#include "client/common/engine_registrar.h"
#include "client/common/ui/ansi_text.h"
#include "client/common/ui/gdi.h"
#include "client/common/ui/resource_values.h"
#include "client/protect/dialog_colours.h"
#include "client/protect/protection_clock.h"
#include "client/protect/protection_layout.h"
#include "client/protect/protection_messages.h"
#include "client/protect/wakenor_dialog.h"
#include "client/protect/wakenor_resources.h"
#include "olvex/core/file_io.h"

namespace olvex::protect {
namespace {

constexpr int kInstallFolderAttempts = 180;
constexpr DWORD kInstallFolderSleepMs = 500;
constexpr char kRightsTestFile[] = "tempa.tmp";
constexpr std::uint64_t kMostSettingsBytes = 1024 * 1024;

// `OpenProductKey`: "Software\<maker>\<product>" under HKEY_LOCAL_MACHINE,
// opened for reading or made with all access.
LONG OpenProductKey(HKEY* key, bool open_only, const std::string& maker,
                    const std::string& product) {
    if (key == nullptr)
        return ERROR_INVALID_PARAMETER;
    const std::string path = "Software\\" + maker + "\\" + product;
    if (open_only)
        return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key);
    return RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_ALL_ACCESS, nullptr, key, nullptr);
}

}  // namespace

CWakenorApp::CWakenorApp(HINSTANCE instance) : ClientApplication(instance) {}

CWakenorApp::~CWakenorApp() {
    if (sockets_started_)
        WSACleanup();
    if (com_initialized_)
        CoUninitialize();
}

std::wstring CWakenorApp::Text(UINT id) const {
    return LoadResourceString(id);
}

bool CWakenorApp::ClaimStartupMutexes() {
    wakenor_mutex_ = ClaimNamedMutex(kWakenorMutexName);
    run_tag_mutex_ = ClaimNamedMutex(kRunTagMutexName);
    return wakenor_mutex_.claim == MutexClaim::kClaimed &&
           run_tag_mutex_.claim == MutexClaim::kClaimed;
}

void CWakenorApp::Run() {
    // A second instance gives way at once, before any wait or message.
    if (!ClaimStartupMutexes())
        return;

    FindInstallFolder();
    std::array<char, MAX_PATH> current{};
    const DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(current.size()), current.data());
    if (length == 0 || length >= current.size()) {
        ShowProtectionMessage(IDS_NO_STARTUP_FOLDER);
        return;
    }
    install_folder_ = JoinPath(current.data(), "");
    data_folder_ = install_folder_ + "core";

    if (!TestRights())
        return;

    WSADATA sockets{};
    if (WSAStartup(MAKEWORD(1, 1), &sockets) != 0) {
        ShowProtectionMessage(IDS_SOCKETS_FAILED);
        return;
    }
    sockets_started_ = true;
    std::setlocale(LC_ALL, "");

    if (!EnsureEngine())
        return;

    std::vector<std::string> parameters;
    for (int i = 1; i < __argc; ++i)
        parameters.emplace_back(__argv[i] != nullptr ? __argv[i] : "");
    WakenorKeywords keywords;
    keywords.log_path = ui::ToAnsi(Text(IDS_LOG_PATH_KEYWORD));
    keywords.data_path = ui::ToAnsi(Text(IDS_DATA_PATH_KEYWORD));
    keywords.silent = ui::ToAnsi(Text(IDS_SILENT_KEYWORD));
    command_line_ = ParseWakenorCommandLine(parameters, keywords);

    {
        std::lock_guard lock(proxy_lock_);
        proxy_settings_.Load(install_folder_, ui::ToAnsi(Text(IDS_PROXY_FILE_NAME)));
    }

    if (!PrepareSettingsFolder())
        return;
    ReadProgramSettings();
    if (!MakeMachineId())
        return;

    scan_may_continue = true;
    // Once, on the window's thread: the shell's opens and the engine's
    // objects need it.
    com_initialized_ = SUCCEEDED(CoInitialize(nullptr));
    SetDialogBackground(static_cast<COLORREF>(ParseColour(ui::ToAnsi(Text(IDS_ALERT_COLOUR)))),
                        RGB(0, 0, 0));

    CWakenorDlg window(*this);
    if (!window.Create())
        return;
    SetMainWindow(window.handle());
    RunMessageLoop();
}

void CWakenorApp::FindInstallFolder() const {
    const std::string maker = ui::ToAnsi(Text(IDS_MAKER_KEY_NAME));
    const std::string product = ui::ToAnsi(Text(IDS_PRODUCT_KEY_NAME));
    for (int attempt = 0; attempt < kInstallFolderAttempts; ++attempt) {
        HKEY key = nullptr;
        if (OpenProductKey(&key, true, maker, product) == ERROR_SUCCESS) {
            std::array<char, MAX_PATH + 1> value{};
            DWORD type = 0;
            DWORD size = MAX_PATH;
            const LONG read = RegQueryValueExA(key, "InstallPath", nullptr, &type,
                                               reinterpret_cast<BYTE*>(value.data()), &size);
            RegCloseKey(key);
            // Only a plain string counts; an expandable one is taken as missing.
            if (read == ERROR_SUCCESS && type == REG_SZ) {
                SetCurrentDirectoryA(value.data());
                return;
            }
        }
        if (attempt + 1 < kInstallFolderAttempts)
            ProgramClock().Sleep(kInstallFolderSleepMs);
    }
}

bool CWakenorApp::TestRights() {
    HKEY key = nullptr;
    if (OpenProductKey(&key, false, ui::ToAnsi(Text(IDS_MAKER_KEY_NAME)),
                       ui::ToAnsi(Text(IDS_PRODUCT_KEY_NAME))) == ERROR_SUCCESS)
        RegCloseKey(key);
    else
        restricted_ = true;
    if (!CanCreateFile(kRightsTestFile))
        restricted_ = true;
    const auto common = CurrentClientFolders().CommonAppData();
    if (!common) {
        ShowProtectionMessage(IDS_NO_COMMON_APPDATA);
        return false;
    }
    if (!CanCreateFile(*common + "\\" + kRightsTestFile))
        restricted_ = true;
    if (restricted_)
        ShowProtectionMessageText(Text(IDS_RESTRICTED_USER) + L"\n");
    return true;
}

bool CWakenorApp::EnsureEngine() {
    const SharedEngineFolder shared = MakeSharedEngineFolder();
    if (!shared.path) {
        ShowSharedFolderFailure(shared.error);
        return false;
    }
    const CEngineRegistrar registrar;
    if (!registrar.EnsureCurrentEngine(ui::ToAnsi(Text(IDS_PRODUCT_KEY_NAME)),
                                       install_folder_ + kEngineDllName,
                                       JoinPath(*shared.path, kEngineDllName))) {
        ShowProtectionMessage(IDS_ENGINE_DAMAGED);
        return false;
    }
    return true;
}

bool CWakenorApp::PrepareSettingsFolder() {
    const ProductFolder folder = MakeProductDataFolder();
    switch (folder.error) {
        case ProductFolderError::kNone:
            settings_path_ = folder.path + ui::ToAnsi(Text(IDS_SETTINGS_NAME));
            return true;
        case ProductFolderError::kNoCommonAppData:
            ShowProtectionMessage(IDS_NO_COMMON_APPDATA);
            return false;
        case ProductFolderError::kCompanyFolder:
            ShowProtectionMessage(IDS_NO_COMPANY_FOLDER);
            return false;
        case ProductFolderError::kProductFolder:
            ShowProtectionMessage(IDS_NO_PRODUCT_FOLDER);
            return false;
    }
    return false;
}

void CWakenorApp::ReadProgramSettings() {
    std::string text;
    DWORD last_error = 0;
    const bool read = RetryWithBackoff(kReadAttempts, [&] {
        // Opened for reading, made when missing, never truncated.
        const HANDLE file =
            CreateFileA(settings_path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            last_error = GetLastError();
            return AttemptResult::kRetry;
        }
        CloseHandle(file);
        const FileBytes bytes = ReadWholeFile(settings_path_, kMostSettingsBytes);
        if (!bytes) {
            last_error = GetLastError();
            return AttemptResult::kRetry;
        }
        text.assign(bytes.bytes.begin(), bytes.bytes.end());
        return AttemptResult::kDone;
    });
    if (!read) {
        if (!restricted_)
            ShowProtectionMessageText(
                ui::FillInTexts(Text(IDS_SETTINGS_READ_FAILED),
                                {ui::FromAnsi(settings_path_), SystemErrorText(last_error)}));
        return;
    }
    const ProtectionProgramSettings settings = ReadProtectionProgramSettings(text);
    prevalence_research_ = settings.prevalence_research;
    truncate_ = settings.truncate;
    settings_machine_id_ = settings.machine_id;
}

bool CWakenorApp::MakeMachineId() {
    if (settings_machine_id_) {
        machine_id_ = *settings_machine_id_;
        return true;
    }
    // Made for this run only; it is not written back.
    GUID guid{};
    if (FAILED(CoCreateGuid(&guid))) {
        ShowProtectionMessage(IDS_NO_GUID, MB_OK | MB_ICONSTOP);
        return false;
    }
    std::array<std::uint8_t, 8> data4{};
    for (std::size_t i = 0; i < data4.size(); ++i)
        data4[i] = guid.Data4[i];
    machine_id_ = FormatMachineId(guid.Data1, guid.Data2, guid.Data3, data4);
    return true;
}

bool CWakenorApp::GetActivityLogPath(std::string& path) const {
    const ProductFolder folder = MakeProductDataFolder();
    if (!folder)
        return false;
    path = folder.path + ui::ToAnsi(LoadResourceString(IDS_ACTIVITY_LOG_NAME));
    return true;
}

CProxySettings CWakenorApp::proxy_settings() const {
    std::lock_guard lock(proxy_lock_);
    return proxy_settings_;
}

void CWakenorApp::set_proxy_settings(const CProxySettings& settings) {
    std::lock_guard lock(proxy_lock_);
    proxy_settings_ = settings;
}

}  // namespace olvex::protect
