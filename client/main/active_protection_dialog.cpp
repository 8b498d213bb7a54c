#include "client/main/active_protection_dialog.h"

#include "client/common/client_environment.h"
#include "client/main/active_protection_dialog_ids.h"

namespace olvex {

CActiveProtectionDlg::CActiveProtectionDlg() : ManagementDialog(IDD_ACTIVE_PROTECTION) {}

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
    if (exists()) {
        SetItemText(IDC_AP_STATUS, status_);
        SetItemText(IDC_AP_START_STOP, button_);
    }
}

bool CActiveProtectionDlg::OnInitDialog() {
    if (!status_.empty())
        SetItemText(IDC_AP_STATUS, status_);
    if (!button_.empty())
        SetItemText(IDC_AP_START_STOP, button_);
    return true;
}

}  // namespace olvex
