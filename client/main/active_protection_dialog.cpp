#include "client/main/active_protection_dialog.h"

#include <windows.h>

#include "client/common/client_environment.h"
#include "client/common/message_boxes.h"
#include "client/common/program_launcher.h"
#include "client/common/ui/file_error_box.h"
#include "client/main/active_protection_dialog_ids.h"
#include "client/main/app_ids.h"
#include "client/main/gorsewatch5_app.h"

namespace olvex {
namespace {

constexpr char kProtectionMutexName[] = "WakenorMAINAPP";
constexpr char kProtectionTitle[] = "Kelvan Gorsewatch -- Active Protection";
constexpr char kProtectionFileName[] = "Wakenor.exe";
constexpr char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kRunValue[] = "KelvanQZAP";
constexpr char kOlderRunValue[] = "Kelvan Gorsewatch Active Protection";
constexpr UINT kProtectionIconMessage = WM_USER + 2;
constexpr LPARAM kDoubleClick = WM_LBUTTONDBLCLK;
constexpr UINT kPokeTimeoutMs = 5000;

bool LimitedRights() {
    const CGorsewatch5App* app = CGorsewatch5App::Current();
    return app != nullptr && app->m_bLimitedRights;
}

std::string InstallFolder() {
    const CGorsewatch5App* app = CGorsewatch5App::Current();
    return app != nullptr ? app->install_folder() : std::string();
}

HWND ProtectionWindow() {
    return FindWindowA(nullptr, kProtectionTitle);
}

// Makes "XJ" and "KelvanGorsewatch" under the common folder; false when one
// cannot be made.
bool MakeSettingsFolders(const std::string& common) {
    std::string folder = common;
    for (const char* part : {"XJ", "KelvanGorsewatch"}) {
        folder += "\\";
        folder += part;
        if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    return true;
}

}  // namespace

CActiveProtectionDlg::CActiveProtectionDlg() : ManagementDialog(IDD_ACTIVE_PROTECTION) {
    OnClicked(IDC_AP_START_STOP, [this] { controller_->OnStartStop(); });
    for (const int id : {IDC_AP_MEMORY, IDC_AP_COOKIES, IDC_AP_ON_BOOT})
        OnClicked(id, [this] { controller_->OnOptionChanged(); });
    OnClicked(IDC_AP_APPLY, [this] { controller_->OnApply(); });
}

CActiveProtectionDlg::~CActiveProtectionDlg() = default;

void CActiveProtectionDlg::LoadSettings() {
    const auto common = CurrentClientFolders().CommonAppData();
    if (!common)
        return;
    ReadActiveProtectionSettings(ActiveProtectionSettingsPath(*common), settings_);
}

void CActiveProtectionDlg::SetProtectionState(const std::wstring& status,
                                              const std::wstring& button, bool stopped) {
    status_ = status;
    button_ = button;
    stopped_ = stopped;
    if (controller_)
        controller_->SetStopped(stopped);
    if (exists()) {
        SetItemText(IDC_AP_STATUS, status_);
        SetItemText(IDC_AP_START_STOP, button_);
    }
}

bool CActiveProtectionDlg::OnInitDialog() {
    ActiveProtectionView& view = *this;
    controller_ = std::make_unique<ActiveProtectionController>(view, LimitedRights());
    controller_->OnInitDialog();
    settings_ = controller_->settings();
    stopped_ = controller_->stopped();
    return true;
}

void CActiveProtectionDlg::OnOk() {
    controller_->OnOk();
}

void CActiveProtectionDlg::OnCancel() {
    controller_->OnCancel();
}

bool CActiveProtectionDlg::BoxChecked(int id) {
    return IsItemChecked(id);
}

void CActiveProtectionDlg::SetBox(int id, bool checked) {
    CheckItem(id, checked);
}

void CActiveProtectionDlg::SetStatus(int text_id) {
    status_ = ui::LoadText(static_cast<UINT>(text_id));
    SetItemText(IDC_AP_STATUS, status_);
}

void CActiveProtectionDlg::SetButtonCaption(int text_id) {
    button_ = ui::LoadText(static_cast<UINT>(text_id));
    SetItemText(IDC_AP_START_STOP, button_);
}

void CActiveProtectionDlg::EnableControl(int id, bool enable) {
    EnableItem(id, enable);
}

bool CActiveProtectionDlg::Ask(int text_id) {
    return CurrentMessageBoxes().Show(handle(), ui::LoadText(static_cast<UINT>(text_id)),
                                      ui::LoadText(IDS_PRODUCT_NAME),
                                      MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void CActiveProtectionDlg::ShowMessage(int text_id, int sound_kind) {
    if (CGorsewatch5App* app = CGorsewatch5App::Current())
        app->ShowMessage(static_cast<UINT>(text_id), sound_kind);
}

void CActiveProtectionDlg::Close(int result) {
    settings_ = controller_->settings();
    End(result);
}

void CActiveProtectionDlg::ShowWaitCursor(bool waiting) {
    if (waiting)
        wait_cursor_.emplace();
    else
        wait_cursor_.reset();
}

void CActiveProtectionDlg::LoadSettings(ActiveProtectionSettings& settings) {
    const auto common = CurrentClientFolders().CommonAppData();
    if (!common || !MakeSettingsFolders(*common))
        return;
    const std::string path = ActiveProtectionSettingsPath(*common);
    // The file is made, empty, when missing; it gets its lines on saving.
    if (!LimitedRights()) {
        const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
    const SettingsFileStatus status = ReadActiveProtectionSettings(path, settings);
    if ((status == SettingsFileStatus::kBusy || status == SettingsFileStatus::kFailed) &&
        !LimitedRights())
        ui::ShowFileErrorBox({ui::TextFileProblem::kCannotOpen, path}, handle());
}

void CActiveProtectionDlg::SaveSettings(const ActiveProtectionSettings& settings) {
    settings_ = settings;
    const auto common = CurrentClientFolders().CommonAppData();
    if (LimitedRights() || !common)
        return;
    const SettingsFileStatus status = WriteActiveProtectionSettings(*common, settings);
    if (status == SettingsFileStatus::kBusy || status == SettingsFileStatus::kFailed)
        ui::ShowFileErrorBox(
            {ui::TextFileProblem::kCannotCreate, ActiveProtectionSettingsPath(*common)}, handle());
}

void CActiveProtectionDlg::SetRunEntry(bool on_boot) {
    HKEY key = nullptr;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, kRunKey, &key) != ERROR_SUCCESS)
        return;
    RegDeleteValueA(key, kOlderRunValue);
    if (on_boot) {
        const std::string command = "\"" + InstallFolder() + kProtectionFileName + "\"";
        RegSetValueExA(key, kRunValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                       static_cast<DWORD>(command.size() + 1));
    } else {
        RegDeleteValueA(key, kRunValue);
    }
    RegCloseKey(key);
}

bool CActiveProtectionDlg::ProtectionRuns() {
    const HANDLE mutex = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, kProtectionMutexName);
    if (mutex == nullptr)
        return false;
    CloseHandle(mutex);
    return true;
}

bool CActiveProtectionDlg::ProtectionWindowExists() {
    return ProtectionWindow() != nullptr;
}

void CActiveProtectionDlg::PostCloseToProtection() {
    if (const HWND window = ProtectionWindow())
        PostMessageA(window, WM_CLOSE, 0, 0);
}

void CActiveProtectionDlg::PokeProtection() {
    DWORD_PTR ignored = 0;
    if (const HWND window = ProtectionWindow())
        SendMessageTimeoutA(window, kProtectionIconMessage, static_cast<WPARAM>(-1), kDoubleClick,
                            SMTO_ABORTIFHUNG, kPokeTimeoutMs, &ignored);
}

void CActiveProtectionDlg::StartProtectionProgram() {
    const std::string install = InstallFolder();
    SetCurrentDirectoryA(install.c_str());
    // A program that cannot be started is not reported.
    StartProgram(install + kProtectionFileName);
}

void CActiveProtectionDlg::Sleep(unsigned milliseconds) {
    ::Sleep(milliseconds);
}

}  // namespace olvex
