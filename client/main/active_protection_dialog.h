// `CActiveProtectionDlg`, the Active Protection Settings dialog (template
// 181), with its four settings (memory and cookie protection, heuristics,
// start with Windows). While the configuration page has it open, the home
// page's timer keeps its status text (1198), its start/stop button (1199)
// and its stopped flag current through SetProtectionState.
// It stands in for the dialog until that is built: it shows the status and
// the button and closes with its Close button.
#pragma once

#include <string>

#include "client/common/active_protection_settings.h"
#include "client/main/program_dialog.h"

namespace olvex {

class CActiveProtectionDlg : public ManagementDialog {
  public:
    CActiveProtectionDlg();
    ~CActiveProtectionDlg() override = default;

    // Reads "qzad.ini" from the product's folder; settings the file does not
    // name, or a file that cannot be read, leave them as they were.
    void LoadSettings();
    const ActiveProtectionSettings& settings() const { return settings_; }

    // The status text, the button's text and whether protection is stopped
    // (the button then starts it); shown at once when the dialog is open.
    void SetProtectionState(const std::wstring& status, const std::wstring& button, bool stopped);
    const std::wstring& status_text() const { return status_; }
    const std::wstring& button_text() const { return button_; }
    bool stopped() const { return stopped_; }

  protected:
    bool OnInitDialog() override;

  private:
    ActiveProtectionSettings settings_{0, 0, 0, 1};
    std::wstring status_;
    std::wstring button_;
    bool stopped_ = false;
};

}  // namespace olvex
