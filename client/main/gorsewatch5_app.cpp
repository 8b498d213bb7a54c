#include "client/main/gorsewatch5_app.h"

#include <winsock2.h>
#include <shellapi.h>
#include <shlobj.h>

#include <array>
#include <clocale>
#include <system_error>

#include "client/common/client_environment.h"
#include "client/common/engine_registrar.h"
#include "client/common/named_mutex.h"
#include "client/common/start_up.h"
#include "client/common/ui/ansi_text.h"
#include "client/common/ui/controls.h"
#include "client/common/ui/dialog.h"
#include "client/common/ui/dialog_layout.h"
#include "client/common/ui/gdi.h"
#include "client/main/app_helpers.h"
#include "client/main/app_ids.h"
#include "client/main/app_paths.h"
#include "client/main/config_page.h"
#include "client/main/home_page.h"
#include "client/main/machine_id.h"
#include "client/main/main_frame.h"
#include "client/main/message_rules.h"
#include "client/main/scan_page.h"
#include "client/main/start_up_rules.h"
#include "olvex/core/os_utilities.h"

namespace olvex {
namespace {

constexpr char kInstanceMutexName[] = "Gorsewatch5ConsumerMAINAPP";
// How long a second start waits for the first to come to the front.
constexpr UINT kComeToFrontTimeoutMs = 5000;

// The child id the shown page carries, and those of the hidden ones.
constexpr int kShownPageId = 0xE900;  // AFX_IDW_PANE_FIRST

void Trace(const std::string& text) {
    OutputDebugStringA(("Gorsewatch5: " + text + "\n").c_str());
}

// Whether a file can be made in the folder: one of a name no other file
// has is made there and removed again, so that no file of anyone else is
// ever emptied or removed.
bool CanCreateFileIn(const std::string& folder) {
    std::array<char, MAX_PATH + 1> path{};
    if (GetTempFileNameA(folder.c_str(), "tmp", 0, path.data()) == 0)
        return false;
    DeleteFileA(path.data());
    return true;
}

std::wstring SystemErrorText(DWORD error) {
    std::array<wchar_t, 1024> text{};
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                       0, text.data(), static_cast<DWORD>(text.size()), nullptr);
    if (length == 0)
        return L"Error " + std::to_wstring(error);
    return std::wstring(text.data(), length);
}

template <typename Interface>
long LastErrorNumber(Interface* object) {
    long number = 0;
    if (object == nullptr || FAILED(object->get_nLastError(&number)))
        return 0;
    return number;
}

// Creates the object at most tries times, sleeping after every failed try.
template <typename Interface>
bool CreateEngineObject(REFCLSID clsid, com::ComPtr<Interface>& object, int tries) {
    return TryRepeatedly<bool>(
        tries, kEngineRetrySleepMs,
        [&](bool& created) {
            const HRESULT result =
                CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                 __uuidof(Interface), object.PutVoid());
            created = SUCCEEDED(result) && object;
            if (!created)
                object.Reset();
        },
        [](unsigned ms) { Sleep(ms); });
}

// Calls the initialisation at most tries times until it reports success.
template <typename Initialize>
bool InitializeEngineObject(int tries, Initialize&& initialize) {
    return TryRepeatedly<VARIANT_BOOL>(
        tries, kEngineRetrySleepMs, [&](VARIANT_BOOL& success) { initialize(&success); },
        [](unsigned ms) { Sleep(ms); });
}

}  // namespace

CGorsewatch5App::CGorsewatch5App(HINSTANCE instance) : ClientApplication(instance) {
    instance_claim_ = ClaimSingleInstance(kInstanceMutexName);
}

CGorsewatch5App::~CGorsewatch5App() {
    if (log_maintenance_.joinable())
        log_maintenance_.join();
    ReleaseEngineObjects();
    // The frame before its pages: it goes with its children.
    frame_.reset();
    configuration_page_.reset();
    scan_page_.reset();
    home_page_.reset();
    if (com_initialized_)
        CoUninitialize();
    if (sockets_initialized_)
        WSACleanup();
    if (rich_edit_ != nullptr)
        FreeLibrary(rich_edit_);
}

CGorsewatch5App* CGorsewatch5App::Current() {
    return CurrentApplication<CGorsewatch5App>();
}

bool CGorsewatch5App::InitInstance() {
    rich_edit_ = LoadLibraryW(L"riched32.dll");

    // The install folder becomes the current folder; without one the
    // program runs from the folder it was started in.
    HKEY key = nullptr;
    if (OpenProgramKey(&key, true) == ERROR_SUCCESS) {
        std::array<char, MAX_PATH + 1> value{};
        DWORD type = 0;
        DWORD size = MAX_PATH;
        if (RegQueryValueExA(key, "InstallPath", nullptr, &type,
                             reinterpret_cast<BYTE*>(value.data()), &size) == ERROR_SUCCESS &&
            type == REG_SZ && value[0] != '\0')
            SetCurrentDirectoryA(value.data());
        RegCloseKey(key);
    }
    std::array<char, MAX_PATH + 1> current{};
    const DWORD length = GetCurrentDirectoryA(MAX_PATH, current.data());
    if (length == 0 || length > MAX_PATH) {
        ShowMessage(IDS_NO_STARTUP_FOLDER, kSoundWarning);
        return false;
    }
    install_folder_ = WithTrailingBackslash(current.data());
    data_folder_ = install_folder_ + "core";

    // One instance: a running first one comes to the front; this one ends
    // before it touches anything.
    if (instance_claim_ == MutexClaim::kExists || instance_claim_ == MutexClaim::kDenied) {
        if (const HWND first = FindWindowW(nullptr, Text(IDS_MAIN_TITLE).c_str())) {
            DWORD_PTR ignored = 0;
            SendMessageTimeoutW(first, kComeToFrontMessage, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK,
                                kComeToFrontTimeoutMs, &ignored);
        }
        return false;
    }

    // Every dialog of the program on its white, the shared ones (About,
    // Prepare Log) too.
    ui::SetDialogColours(ColorFromResource(IDS_DIALOG_BACKGROUND), RGB(0, 0, 0));

    const auto common = CurrentClientFolders().CommonAppData();
    if (!common) {
        ShowMessage(IDS_NO_COMMON_APPDATA, kSoundWarning);
        return false;
    }
    CheckWriteAccess(*common);

    WSADATA sockets{};
    if (WSAStartup(MAKEWORD(1, 1), &sockets) != 0) {
        ShowMessage(IDS_SOCKETS_FAILED, kSoundWarning);
        return false;
    }
    sockets_initialized_ = true;
    ui::EnsureCommonControls();
    std::setlocale(LC_ALL, "");

    if (!MakeDataFolders())
        return false;
    LoadSettings();
    if (!EnsureMachineId() || !EnsureEngine())
        return false;
    SaveSettings();
    SaveMachineId();
    proxy_settings_.Load(install_folder_, AnsiResourceText(IDS_PROXY_FILE_NAME));

    if (const auto version = CurrentOsVersionSource().Query()) {
        m_dwPlatformId = version->platform_id;
        major_version_ = version->major;
        minor_version_ = version->minor;
    }
    if (!m_bLimitedRights)
        CheckTaskScheduler();

    const CommandLineSwitchWords words{AnsiResourceText(IDS_SWITCH_SCAN),
                                       AnsiResourceText(IDS_SWITCH_SHOW_QUARANTINE),
                                       AnsiResourceText(IDS_SWITCH_SHOW_EXCLUSIONS)};
    const auto command_line = ParseGorsewatch5CommandLine(CommandLineParameters(), words);
    if (command_line.requests().scan)
        requests_.scan = 1;
    if (command_line.requests().show_quarantine)
        requests_.show_quarantine = 1;
    if (command_line.requests().show_exclusions)
        requests_.show_exclusions = 1;
    if (!ProcessShellCommand(command_line))
        return false;

    if (!CreateFrameAndPages())
        return false;
    StartLogMaintenance();
    ShowMainWindow();

    com_initialized_ = SUCCEEDED(CoInitialize(nullptr));
    UpdateDesktopShortcut();
    CreateEngineObjects();
    started_ = true;
    return true;
}

void CGorsewatch5App::CheckWriteAccess(const std::string& common_app_data) {
    HKEY key = nullptr;
    if (OpenProgramKey(&key, false) == ERROR_SUCCESS)
        RegCloseKey(key);
    else
        m_bLimitedRights = 1;
    if (!CanCreateFileIn(install_folder_))
        m_bLimitedRights = 1;
    if (!CanCreateFileIn(common_app_data))
        m_bLimitedRights = 1;
    // Not an end: the program goes on and only scans.
    if (m_bLimitedRights)
        ShowMessage(IDS_LIMITED_RIGHTS, kSoundWarning);
}

bool CGorsewatch5App::MakeDataFolders() {
    // The activity log's folder, then the same folder for the settings, each
    // with the messages of its own step.
    struct Step {
        UINT no_common;
        UINT company;
        UINT product;
    };
    const Step steps[] = {
        {IDS_NO_COMMON_APPDATA, IDS_LOG_COMPANY_FOLDER, IDS_LOG_PRODUCT_FOLDER},
        {IDS_NO_APPDATA_FOLDER, IDS_COMPANY_FOLDER, IDS_PRODUCT_FOLDER},
    };
    std::string folder;
    for (const Step& step : steps) {
        const ProductFolder made = MakeProductDataFolder();
        switch (made.error) {
            case ProductFolderError::kNone:
                folder = made.path;
                continue;
            case ProductFolderError::kNoCommonAppData:
                ShowMessage(step.no_common, kSoundWarning);
                return false;
            case ProductFolderError::kCompanyFolder:
                ShowMessage(step.company, kSoundWarning);
                return false;
            case ProductFolderError::kProductFolder:
                ShowMessage(step.product, kSoundWarning);
                return false;
        }
    }
    activity_log_.With(
        [&](CLogFile& log) { log.SetPath(folder + AnsiResourceText(IDS_ACTIVITY_LOG_NAME)); });
    settings_path_ = folder + AnsiResourceText(IDS_SETTINGS_FILE_NAME);
    return true;
}

std::optional<std::string> CGorsewatch5App::ProductDataFolderOrWarn() {
    const ProductFolder folder = MakeProductDataFolder();
    switch (folder.error) {
        case ProductFolderError::kNone:
            return folder.path;
        case ProductFolderError::kNoCommonAppData:
            ShowMessage(IDS_NO_APPDATA_FOLDER, kSoundWarning);
            break;
        case ProductFolderError::kCompanyFolder:
            ShowMessage(IDS_COMPANY_FOLDER, kSoundWarning);
            break;
        case ProductFolderError::kProductFolder:
            ShowMessage(IDS_PRODUCT_FOLDER, kSoundWarning);
            break;
    }
    return std::nullopt;
}

bool CGorsewatch5App::EnsureMachineId() {
    if (!settings_.guid)
        LoadMachineId();
    if (settings_.guid)
        return true;
    GUID guid{};
    if (FAILED(CoCreateGuid(&guid))) {
        ShowMessage(IDS_NO_GUID, kSoundWarning);
        return false;
    }
    std::array<std::uint8_t, 8> data4{};
    for (std::size_t i = 0; i < data4.size(); ++i)
        data4[i] = guid.Data4[i];
    settings_.guid = FormatMachineId(guid.Data1, guid.Data2, guid.Data3, data4);
    return true;
}

bool CGorsewatch5App::EnsureEngine() {
    const SharedEngineFolder shared = MakeSharedEngineFolder();
    if (!shared.path) {
        if (shared.error == 0)
            ShowMessage(IDS_NO_PROGRAM_FILES, kSoundWarning);
        else
            ShowMessageText(SystemErrorText(shared.error), kSoundWarning);
        return false;
    }
    const CEngineRegistrar registrar;
    if (!registrar.EnsureCurrentEngine(AnsiResourceText(IDS_PRODUCT_FOLDER_NAME),
                                       install_folder_ + kEngineDllName,
                                       JoinPath(*shared.path, kEngineDllName))) {
        ShowMessage(IDS_ENGINE_DAMAGED, kSoundWarning);
        return false;
    }
    return true;
}

bool CGorsewatch5App::ProcessShellCommand(const CGorsewatch5CommandLineInfo& command_line) {
    // The program keeps no documents: a document named on the command line
    // only has to open.
    if (!command_line.file_name())
        return true;
    const HANDLE file = CreateFileA(command_line.file_name()->c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

bool CGorsewatch5App::CreateFrameAndPages() {
    frame_ = std::make_unique<CMainFrame>();
    home_page_ = std::make_unique<CMainView>();
    scan_page_ = std::make_unique<CScanView>();
    configuration_page_ = std::make_unique<CManageView>();
    const HICON icon = LoadIconW(instance(), MAKEINTRESOURCEW(IDR_MAINFRAME));
    // The title comes when the window shows: other programs find it by it.
    if (!frame_->Create(kMainFrameClass, L"", icon) || !frame_->AddPage(kHomePage, *home_page_) ||
        !frame_->AddPage(kScanPage, *scan_page_) ||
        !frame_->AddPage(kConfigurationPage, *configuration_page_))
        return false;
    if (const HDC dc = GetDC(frame_->handle())) {
        horizontal_scale_ = GetDeviceCaps(dc, LOGPIXELSX) / 96.0;
        vertical_scale_ = GetDeviceCaps(dc, LOGPIXELSY) / 96.0;
        ReleaseDC(frame_->handle(), dc);
    }
    int id = kShownPageId;
    for (CPage* page :
         {static_cast<CPage*>(home_page_.get()), static_cast<CPage*>(scan_page_.get()),
          static_cast<CPage*>(configuration_page_.get())})
        SetWindowLongPtrW(page->handle(), GWLP_ID, id++);

    // The frame fits the home page's template, then every page loses its
    // banner and the frame the banner's height.
    const RECT page = home_page_->ClientRect();
    frame_->SetClientSize(page.right, page.bottom);
    home_page_->RemoveBanner();
    ui::ShortenFrameByBand(frame_->handle());
    scan_page_->RemoveBanner();
    configuration_page_->RemoveBanner();
    const RECT client = frame_->ClientRect();
    for (CPage* page_object :
         {static_cast<CPage*>(home_page_.get()), static_cast<CPage*>(scan_page_.get()),
          static_cast<CPage*>(configuration_page_.get())})
        SetWindowPos(page_object->handle(), nullptr, 0, 0, client.right, client.bottom,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    frame_->ShowPage(kHomePage);
    return true;
}

void CGorsewatch5App::StartLogMaintenance() {
    if (m_bLimitedRights)
        return;
    log_mutex_.reset(CreateMutexA(nullptr, FALSE, kActivityLogMutexName));
    try {
        const bool truncate = settings_.truncate != 0;
        log_maintenance_ = std::thread([this, truncate] { MaintainActivityLog(truncate); });
    } catch (const std::system_error&) {
        ShowMessage(IDS_THREAD_FAILED, kSoundWarning);
    }
}

void CGorsewatch5App::ShowMainWindow() {
    frame_->SetText(Text(IDS_MAIN_TITLE));
    ShowWindow(frame_->handle(), SW_SHOW);
    InvalidateRect(frame_->handle(), nullptr, TRUE);
    UpdateWindow(frame_->handle());
    exit_requested_ = false;
}

void CGorsewatch5App::CreateEngineObjects() {
    // In this order, each attempted even when an earlier one failed.
    bool all = true;
    all = CreateEngineObject(CLSID_PestDatabase, pest_database_, 3) && all;
    all = CreateEngineObject(CLSID_Exterminator, exterminator_, 3) && all;
    all = CreateEngineObject(CLSID_Quarantine, quarantine_, 3) && all;
    all = CreateEngineObject(CLSID_Excluder, excluder_, 3) && all;
    all = CreateEngineObject(CLSID_Location, location_, 3) && all;
    all = CreateEngineObject(CLSID_Scanner, scanner_, 5) && all;
    all = CreateEngineObject(CLSID_VersionInfo, version_info_, 3) && all;
    if (!all) {
        ShowMessage(IDS_ENGINE_NOT_INSTALLED, kSoundWarning);
        return;
    }
    scanner_->put_Callback(&scanner_callback_);

    const com::UniqueBstr data = MakeBstr(data_folder_);
    const com::UniqueBstr install = MakeBstr(install_folder_);
    if (!InitializeEngineObject(
            3, [&](VARIANT_BOOL* ok) { pest_database_->Initialize(data.Get(), ok); })) {
        ShowMessageText(
            FillInMessage(Text(IDS_DATABASE_INIT_FAILED), LastErrorNumber(pest_database_.Get()),
                          LastErrorText(pest_database_.Get())),
            kSoundWarning);
    }
    if (!m_bLimitedRights) {
        if (!InitializeEngineObject(3, [&](VARIANT_BOOL* ok) {
                exterminator_->InitializeEx(install.Get(), data.Get(), ok);
            })) {
            ShowMessageText(FillInMessage(Text(IDS_EXTERMINATOR_INIT_FAILED), std::nullopt,
                                          LastErrorText(exterminator_.Get())),
                            kSoundWarning);
        }
        const bool quarantine_ready = InitializeEngineObject(
            3, [&](VARIANT_BOOL* ok) { quarantine_->Initialize(install.Get(), ok); });
        quarantine_->put_vbAllowDuplicates(VARIANT_TRUE);
        if (!quarantine_ready) {
            ShowMessageText(FillInMessage(Text(IDS_QUARANTINE_INIT_FAILED), std::nullopt,
                                          LastErrorText(quarantine_.Get())),
                            kSoundWarning);
        }
        if (!InitializeEngineObject(
                3, [&](VARIANT_BOOL* ok) { excluder_->Initialize(data.Get(), ok); })) {
            ShowMessageText(FillInMessage(Text(IDS_EXCLUDER_INIT_FAILED), std::nullopt,
                                          LastErrorText(excluder_.Get())),
                            kSoundWarning);
        }
    }
    if (!InitializeEngineObject(5, [&](VARIANT_BOOL* ok) {
            scanner_->InitializeEx(data.Get(), data.Get(), data.Get(), ok);
        })) {
        ShowMessageText(
            FillInMessage(Text(IDS_SCANNER_INIT_FAILED), LastErrorNumber(scanner_.Get()),
                          LastErrorText(scanner_.Get())),
            kSoundWarning);
    }
}

bool CGorsewatch5App::RequireEngineObjects() {
    if (pest_database_ && exterminator_ && quarantine_ && excluder_ && location_ && scanner_ &&
        version_info_)
        return true;
    ShowMessage(IDS_ENGINE_NOT_INSTALLED, kSoundWarning);
    return false;
}

CPage* CGorsewatch5App::SwitchView(int page) {
    if (!frame_ || !IsPageNumber(page))
        return nullptr;
    auto* old_view = static_cast<CPage*>(frame_->Page(frame_->current_page()));
    auto* new_view = static_cast<CPage*>(frame_->Page(page));
    if (new_view == nullptr || !new_view->exists())
        return nullptr;
    // The shown page always carries the pane's id.
    if (old_view != nullptr && old_view != new_view && old_view->exists()) {
        const LONG_PTR old_id = GetWindowLongPtrW(old_view->handle(), GWLP_ID);
        const LONG_PTR new_id = GetWindowLongPtrW(new_view->handle(), GWLP_ID);
        SetWindowLongPtrW(new_view->handle(), GWLP_ID, old_id);
        SetWindowLongPtrW(old_view->handle(), GWLP_ID, new_id);
    }
    frame_->ShowPage(page);
    InvalidateRect(new_view->handle(), nullptr, TRUE);
    return old_view;
}

int CGorsewatch5App::Run() {
    return RunMessageLoop();
}

int CGorsewatch5App::ExitInstance() {
    if (log_maintenance_.joinable())
        log_maintenance_.join();
    if (settings_.guid)
        SaveSettings();
    activity_log_.With([](CLogFile& log) {
        if (log.Flush() == LogStatus::kFailed)
            Trace("the activity log's last lines could not be written");
    });
    log_mutex_.reset();
    ReleaseEngineObjects();
    if (com_initialized_) {
        CoUninitialize();
        com_initialized_ = false;
    }
    return 0;
}

void CGorsewatch5App::ReleaseEngineObjects() {
    if (scanner_)
        scanner_->put_Callback(nullptr);
    version_info_.Reset();
    scanner_.Reset();
    location_.Reset();
    excluder_.Reset();
    quarantine_.Reset();
    exterminator_.Reset();
    pest_database_.Reset();
}

}  // namespace olvex
