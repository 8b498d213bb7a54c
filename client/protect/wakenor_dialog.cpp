#include "client/protect/wakenor_dialog.h"

#include <fstream>
#include <mutex>

#include "client/common/client_environment.h"
#include "client/common/program_launcher.h"
#include "client/common/ui/ansi_text.h"
#include "client/common/ui/controls.h"
#include "client/common/ui/gdi.h"
#include "client/common/ui/proxy_dialog.h"
#include "client/common/ui/system_seams.h"
#include "client/common/url_lookup.h"
#include "client/protect/alert_dialogs.h"
#include "client/protect/detection_worker.h"
#include "client/protect/dialog_colours.h"
#include "client/protect/main_program.h"
#include "client/protect/protection_clock.h"
#include "client/protect/protection_layout.h"
#include "client/protect/protection_log_dialog.h"
#include "client/protect/protection_messages.h"
#include "client/protect/scan_reminder.h"
#include "client/protect/system_locale.h"
#include "client/protect/wakenor_app.h"
#include "client/protect/wakenor_resources.h"

namespace olvex::protect {
namespace {

constexpr UINT_PTR kProtectionTimer = 1;
constexpr UINT kProtectionTimerMs = 1000;
constexpr UINT_PTR kLookForMainProgramTimer = 2;
constexpr UINT kLookIntervalMs = 250;
constexpr int kLooksForMainProgram = 8;
constexpr int kWorkerWaits = 4;
constexpr DWORD kWorkerWaitMs = 500;
constexpr char kHomeUrlKey[] = "XJHOME_URL";
constexpr char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kRunValue[] = "KelvanQZAP";
constexpr char kOlderRunValue[] = "Kelvan Gorsewatch Active Protection";

bool IsChecked(HWND window, int id) {
    // Any state but clear counts as ticked.
    return SendDlgItemMessageW(window, id, BM_GETCHECK, 0, 0) != BST_UNCHECKED;
}

}  // namespace

CWakenorDlg::CWakenorDlg(CWakenorApp& app)
    : ui::Dialog(IDD_WAKENOR_DIALOG),
      app_(app),
      icon_(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))),
      tray_(kTrayIconId, kTrayCallbackMessage, ui::ToAnsi(ui::LoadText(IDS_MESSAGE_CAPTION))),
      taskbar_created_(RegisterWindowMessageW(L"TaskbarCreated")),
      ticks_(ProgramClock().FirstTick(), kTicksPerDay),
      place_{GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2} {
    for (const int box : {IDC_MEMORY, IDC_COOKIES, IDC_ON_BOOT})
        OnClicked(box, [this] {
            EnableItem(IDC_APPLY, true);
            options_.OnBoxClicked();  // the next pass follows the boxes, applied or not
        });
    OnClicked(IDC_VIEW_LOG, [this] { OnViewLog(); });
    OnClicked(IDC_HIDE, [this] { Hide(); });
    OnClicked(IDC_SETTINGS_OK, [this] { OnSettingsOk(); });
    OnClicked(IDC_APPLY, [this] { OnApply(); });
    OnClicked(IDC_STOP_NOW, [this] { OnStopNow(); });
    OnMessage(WM_CLOSE, [this](WPARAM, LPARAM) -> LRESULT {
        OnClose();
        return 0;
    });
    OnMessage(WM_QUERYDRAGICON,
              [this](WPARAM, LPARAM) -> LRESULT { return reinterpret_cast<LRESULT>(icon_); });
}

CWakenorDlg::~CWakenorDlg() {
    ReleaseSettingsMutex();
}

bool CWakenorDlg::Create() {
    return CreateModeless(nullptr);
}

std::optional<LRESULT> CWakenorDlg::PreviewMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    // Before anything else, whatever the message: another program asks the
    // window to go off the screen.
    if (IsHideRequest(wparam)) {
        hide_on_paint_ = false;
        Hide();
        return 1;
    }
    if (message == kTrayCallbackMessage) {
        OnTrayRequest(wparam, lparam);
        return 0;
    }
    if (message == taskbar_created_ && taskbar_created_ != 0) {
        AddTrayIcon();  // a new notification area knows no icon yet
        return 0;
    }
    switch (message) {
        case WM_SYSCOMMAND:
            if ((wparam & 0xFFF0) == IDM_ABOUTBOX) {
                ui::Dialog about(IDD_ABOUTBOX);
                about.RunModal(handle());
                return 0;
            }
            return std::nullopt;
        case WM_PAINT:
            OnPaint();
            return IsIconic(handle()) ? std::optional<LRESULT>(0) : std::nullopt;
        default:
            return std::nullopt;
    }
}

bool CWakenorDlg::OnInitDialog() {
    const std::wstring about = ui::LoadText(IDS_ABOUTBOX);
    if (const HMENU system_menu = GetSystemMenu(handle(), FALSE);
        system_menu != nullptr && !about.empty()) {
        AppendMenuW(system_menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(system_menu, MF_STRING, IDM_ABOUTBOX, about.c_str());
    }
    SendMessageW(handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageW(handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    AddTrayIcon();
    StartTimer(kProtectionTimer, ProgramClock().Scaled(kProtectionTimerMs));
    SetText(ui::LoadText(IDS_PROTECTION_TITLE));
    SetWindowPos(handle(), HWND_TOPMOST, place_.x, place_.y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
    LoadSettings();
    options_.Show();
    WriteRunEntry();
    ShowStatus();
    app_.scan_may_continue = true;
    if (app_.restricted()) {
        for (const int id : kRestrictedDisabledControls)
            EnableItem(id, false);
    }
    // No focus is handed out: the window stays hidden until it is asked for.
    return false;
}

void CWakenorDlg::OnTrayRequest(WPARAM wparam, LPARAM lparam) {
    switch (TrayRequestOf(wparam, lparam)) {
        case TrayRequest::kShowSettings:
            RequestSettings();
            break;
        case TrayRequest::kShowMenu:
            ShowMenu();
            break;
        case TrayRequest::kNone:
            break;
    }
}

// Only one of the two programs' settings windows is on screen at a time:
// whoever holds the settings mutex shows them.
void CWakenorDlg::RequestSettings() {
    if (!settings_mutex_) {
        win::UniqueHandle mutex(CreateMutexA(nullptr, FALSE, kSettingsDialogMutexName));
        if (!mutex)
            return;
        const DWORD wait = WaitForSingleObject(mutex.get(), 250);
        // A holder that ended without letting go leaves the mutex to us.
        if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED)
            return;
        settings_mutex_ = std::move(mutex);
    }
    ShowSettings();
}

void CWakenorDlg::ShowSettings() {
    hide_on_paint_ = false;
    LoadSettings();
    options_.Show();
    WriteRunEntry();
    ShowStatus();
    // Each showing starts with nothing to apply.
    EnableItem(IDC_APPLY, false);
    EnableItem(IDC_HIDE, true);
    MoveToPlace();
    ShowWindow(handle(), SW_SHOW);
    SetForegroundWindow(handle());
    SetFocus(handle());
    ShowWindow(handle(), SW_SHOWNORMAL);
}

void CWakenorDlg::Hide() {
    // Boxes clicked but not applied go with the window: the worker goes back
    // to the applied options.
    options_.Revert();
    ReleaseSettingsMutex();
    MoveToPlace();
    ShowWindow(handle(), SW_HIDE);
}

void CWakenorDlg::ReleaseSettingsMutex() {
    if (settings_mutex_) {
        ReleaseMutex(settings_mutex_.get());
        settings_mutex_.reset();
    }
}

void CWakenorDlg::ShowMenu() {
    const HMENU menu = CreatePopupMenu();
    if (menu == nullptr)
        return;
    for (const TrayMenuItem& item : TrayMenuItems(app_.restricted())) {
        if (item.command == 0) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        AppendMenuW(menu, MF_STRING | (item.grayed ? MF_GRAYED : 0),
                    static_cast<UINT_PTR>(item.command), ui::LoadText(item.text_id).c_str());
    }
    SetMenuDefaultItem(menu, kDefaultMenuCommand, FALSE);
    POINT cursor{};
    GetCursorPos(&cursor);
    SetForegroundWindow(handle());
    const int command = static_cast<int>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY,
                                                        cursor.x, cursor.y, 0, handle(), nullptr));
    // The menu closes properly only after the window has had a message.
    SendMessageW(handle(), WM_NULL, 0, 0);
    DestroyMenu(menu);
    switch (command) {
        case kOpenMainProgramCommand:
            OpenMainProgram();
            break;
        case kHomePageCommand:
            OpenHomePage();
            break;
        case kConfigureCommand:
            RequestSettings();
            break;
        case kConfigureProxyCommand:
            ConfigureProxy();
            break;
        case kStopCommand:
            AskToStop(nullptr);
            break;
        default:
            break;
    }
}

void CWakenorDlg::OpenMainProgram() {
    if (const HWND main_window = FindMainProgramWindow()) {
        PostComeToFront(main_window);
        return;
    }
    if (!StartMainProgram(app_.install_folder()))
        return;  // given up silently
    // Looked for without blocking the window's thread.
    main_program_looks_left_ = kLooksForMainProgram;
    StartTimer(kLookForMainProgramTimer, kLookIntervalMs);
}

void CWakenorDlg::OpenHomePage() const {
    // Only a web address from the table: never a program or a file.
    const std::string address =
        GetWebAddress(kHomeUrlKey, ui::ToAnsi(ui::LoadText(IDS_HOME_ADDRESS)));
    ui::CurrentShellOpener().Open(handle(), ui::FromAnsi(address));
}

void CWakenorDlg::ConfigureProxy() {
    if (app_.restricted())
        return;
    const std::wstring title = ui::LoadText(IDS_PROXY_TITLE);
    if (FindWindowW(nullptr, title.c_str()) != nullptr)
        return;  // already open
    CProxySettings settings;
    settings.Load(app_.install_folder(), ui::ToAnsi(ui::LoadText(IDS_PROXY_FILE_NAME)));
    ui::ProxyDialogTexts texts;
    texts.title = IDS_PROXY_TITLE;
    texts.caption = IDS_MESSAGE_CAPTION;
    texts.changes_lost = IDS_PROXY_CHANGES_LOST;
    texts.blank_credential = IDS_PROXY_BLANK_CREDENTIAL;
    texts.no_address = IDS_PROXY_NO_ADDRESS;
    texts.bad_port = IDS_PROXY_BAD_PORT;
    ui::CProxyDlg dialog(IDD_PROXY, settings, app_.install_folder(), texts, nullptr,
                         ui::ToAnsi(ui::LoadText(IDS_PROXY_FILE_NAME)));
    dialog.RunModal(nullptr);
    app_.set_proxy_settings(settings);
}

void CWakenorDlg::AskToStop(HWND owner) {
    if (ShowProtectionMessage(IDS_STOP_WARNING, MB_YESNO, owner) != IDYES)
        return;
    app_.scan_may_continue = false;
    SendMessageW(handle(), WM_CLOSE, 0, 0);
}

void CWakenorDlg::OnOk() {
    OnSettingsOk();
}

void CWakenorDlg::OnCancel() {
    Hide();  // Escape
}

void CWakenorDlg::OnSettingsOk() {
    if (app_.restricted())
        return;
    ApplySettings();
    Hide();
}

void CWakenorDlg::OnApply() {
    if (app_.restricted())
        return;
    ApplySettings();
    EnableItem(IDC_APPLY, false);
    EnableItem(IDC_HIDE, false);
}

bool CWakenorDlg::ApplySettings() {
    options_.Apply();
    WriteRunEntry();
    const bool saved = SaveSettings();
    ShowStatus();
    return saved;
}

void CWakenorDlg::OnStopNow() {
    AskToStop(handle());
    EnableItem(IDC_APPLY, true);
}

void CWakenorDlg::OnClose() {
    if (closing_ || !exists())
        return;
    closing_ = true;
    StopTimer(kProtectionTimer);
    StopTimer(kLookForMainProgramTimer);
    const ui::ProgressBar progress(handle(), IDC_PROGRESS);
    progress.SetRange(0, 6);
    SendMessageW(progress.handle(), PBM_SETSTEP, 1, 0);
    progress.SetPosition(0);
    app_.scan_may_continue = false;
    WaitForWorker();
    tray_.Delete(handle());
    progress.Show(false);
    ReleaseSettingsMutex();
    // Settings are written when applied; only a save that failed then is
    // tried again. Writing them unasked would undo what the main program's
    // settings dialog wrote since.
    if (unsaved_)
        SaveSettings();
    End(IDCANCEL);
}

// The detection worker is asked to stop through the scan-continue flag; one
// that has not ended after four waits is ended.
void CWakenorDlg::WaitForWorker() {
    if (!worker_)
        return;
    const ui::ProgressBar progress(handle(), IDC_PROGRESS);
    for (int wait = 0; wait < kWorkerWaits; ++wait) {
        if (WaitForSingleObject(worker_.get(), 0) != WAIT_TIMEOUT)
            break;
        SendMessageW(progress.handle(), PBM_STEPIT, 0, 0);
        ProgramClock().Sleep(kWorkerWaitMs);
    }
    if (WaitForSingleObject(worker_.get(), 0) == WAIT_TIMEOUT)
        TerminateThread(worker_.get(), 0);
    worker_.reset();
}

void CWakenorDlg::OnViewLog() const {
    std::string path;
    if (app_.GetActivityLogPath(path))
        ShowProtectionLog(path);
}

void CWakenorDlg::OnPaint() {
    if (IsIconic(handle())) {
        PAINTSTRUCT paint{};
        const HDC dc = BeginPaint(handle(), &paint);
        const RECT client = ClientRect();
        DrawIcon(dc, (client.right - GetSystemMetrics(SM_CXICON) + 1) / 2,
                 (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2, icon_);
        EndPaint(handle(), &paint);
        return;
    }
    if (hide_on_paint_) {
        MoveToPlace();
        ShowWindow(handle(), SW_HIDE);
        EnableWindow(handle(), TRUE);
    }
}

void CWakenorDlg::OnSize(UINT kind, int width, int height) {
    if (kind == SIZE_MINIMIZED)
        Hide();
}

HBRUSH CWakenorDlg::OnControlColor(HDC dc, HWND control, UINT message) {
    return DialogBackgroundBrush(dc, message);
}

void CWakenorDlg::OnTimer(UINT_PTR timer_id) {
    if (timer_id == kProtectionTimer) {
        RunTimerStep();
        return;
    }
    if (timer_id == kLookForMainProgramTimer) {
        if (const HWND main_window = FindMainProgramWindow()) {
            PostComeToFront(main_window);
            main_program_looks_left_ = 0;
        } else {
            --main_program_looks_left_;
        }
        if (main_program_looks_left_ <= 0)
            StopTimer(kLookForMainProgramTimer);
    }
}

// The protection timer's work, once a second: the scan reminder, the tick
// counter (icon re-adds, the daily updater start) and the detection
// worker's management.
void CWakenorDlg::RunTimerStep() {
    RemindOfScan();
    CountTick();
    ManageWorker();
}

void CWakenorDlg::RemindOfScan() {
    // Ticks that come while the reminder is open do nothing here.
    if (app_.reminder_shown)
        return;
    const std::time_t now = static_cast<std::time_t>(ProgramClock().Now());
    if (!app_.reminder.ShouldReadHistory(now))
        return;
    const ProductFolder folder = MakeProductDataFolder();
    if (!folder) {
        // Once a run: the timer goes on firing while the message is open.
        if (folder_message_shown_)
            return;
        folder_message_shown_ = true;
        switch (folder.error) {
            case ProductFolderError::kNoCommonAppData:
                ShowProtectionMessage(IDS_NO_COMMON_APPDATA);
                break;
            case ProductFolderError::kCompanyFolder:
                ShowProtectionMessage(IDS_NO_COMPANY_FOLDER);
                break;
            default:
                ShowProtectionMessage(IDS_NO_PRODUCT_FOLDER);
                break;
        }
        return;
    }
    std::ifstream history(folder.path + ui::ToAnsi(ui::LoadText(IDS_SCAN_HISTORY_NAME)),
                          std::ios::binary);
    std::string first_line;
    if (!history || !std::getline(history, first_line))
        return;  // no history yet: tried again on the next tick
    const auto scan_time = ScanTimeOfHistory(first_line, SystemLocaleInfo());
    if (!scan_time)
        return;
    const auto due = app_.reminder.Due(now, *scan_time);
    if (!due)
        return;
    app_.reminder_shown = true;
    CScanReminderDlg reminder(app_.install_folder());
    reminder.RunModal(nullptr);
    app_.reminder.Shown(*due);
    app_.reminder_shown = false;
}

void CWakenorDlg::CountTick() {
    const TickStep step = ticks_.Tick();
    if (step.re_add_icon)
        AddTrayIcon();
    if (!step.daily_work || app_.restricted())
        return;
    // The updater's own start-up decides whether a day has passed since the
    // last update. A failed start is silent.
    StartProgram(app_.install_folder() + ui::ToAnsi(ui::LoadText(IDS_UPDATER_NAME)),
                 ui::ToAnsi(ui::LoadText(IDS_AUTOUPDATE_FLAG)));
    std::string log_path;
    if (!app_.GetActivityLogPath(log_path))
        return;
    std::lock_guard lock(app_.activity_log_lock);
    app_.activity_log.SetPath(log_path);
    app_.activity_log.Load();
    app_.activity_log.Truncate(app_.truncate() != 0);
}

// One detection worker runs whenever no foreground scan does; one that has
// ended is let go, and the next tick may start another.
void CWakenorDlg::ManageWorker() {
    if (worker_) {
        if (WaitForSingleObject(worker_.get(), 0) != WAIT_TIMEOUT)
            worker_.reset();
        return;
    }
    if (closing_ || ForegroundScanRunning())
        return;
    options_.PublishBoxes();
    worker_ = StartDetectionWorker(app_);
}

OptionBoxes CWakenorDlg::Boxes() const {
    return {IsChecked(handle(), IDC_MEMORY), IsChecked(handle(), IDC_COOKIES),
            IsChecked(handle(), IDC_ON_BOOT)};
}

void CWakenorDlg::ShowBoxes(const OptionBoxes& boxes) {
    CheckItem(IDC_MEMORY, boxes.memory);
    CheckItem(IDC_COOKIES, boxes.cookies);
    CheckItem(IDC_ON_BOOT, boxes.on_boot);
}

void CWakenorDlg::PublishScanOptions(bool memory, bool cookies) {
    app_.scan_memory = memory;
    app_.scan_cookies = cookies;
}

void CWakenorDlg::OnDestroy() {
    StopTimer(kProtectionTimer);
    StopTimer(kLookForMainProgramTimer);
    if (!closing_)
        tray_.Delete(handle());
    ReleaseSettingsMutex();
}

void CWakenorDlg::LoadSettings() {
    const auto common = CurrentClientFolders().CommonAppData();
    if (!common)
        return;
    // A file that cannot be read leaves the settings as they are.
    ReadActiveProtectionSettings(ActiveProtectionSettingsPath(*common), options_.applied());
}

bool CWakenorDlg::SaveSettings() {
    if (app_.restricted())
        return true;
    const auto common = CurrentClientFolders().CommonAppData();
    const bool saved = common && WriteActiveProtectionSettings(*common, options_.applied()) ==
                                     SettingsFileStatus::kDone;
    unsaved_ = !saved;
    return saved;
}

void CWakenorDlg::ShowStatus() const {
    SetItemText(IDC_STATUS, ui::LoadText(static_cast<UINT>(StatusStringId(options_.applied()))));
}

// The start-with-Windows entry follows the on-boot setting; the older value
// goes whenever the key is touched. Registry failures are ignored.
void CWakenorDlg::WriteRunEntry() const {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    RegDeleteValueA(key, kOlderRunValue);
    if (options_.applied().on_boot != 0) {
        char module[MAX_PATH] = {};
        const DWORD length = GetModuleFileNameA(nullptr, module, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            std::string quoted(1, '"');
            quoted.append(module, length);
            quoted.push_back('"');
            RegSetValueExA(key, kRunValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(quoted.c_str()),
                           static_cast<DWORD>(quoted.size() + 1));
        }
    } else {
        RegDeleteValueA(key, kRunValue);
    }
    RegCloseKey(key);
}

void CWakenorDlg::MoveToPlace() const {
    SetWindowPos(handle(), nullptr, place_.x, place_.y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWakenorDlg::AddTrayIcon() const {
    tray_.Add(handle(), icon_);
}

}  // namespace olvex::protect
