// `CActiveProtectionDlg`, the Active Protection Settings dialog (template
// 181): what the background protection (Wakenor) watches, whether it starts
// with Windows, and starting or stopping it at once. Its logic is the
// ActiveProtectionController (active_protection_controller.h); this class
// moves values between the controls, "qzad.ini", the Run key, Wakenor and it.
// While the configuration page has it open, the home page's timer keeps its
// status text (1198), its start/stop button (1199) and its stopped flag
// current through SetProtectionState.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "client/common/active_protection_settings.h"
#include "client/common/ui/gdi.h"
#include "client/main/active_protection_controller.h"
#include "client/main/program_dialog.h"

namespace olvex {

class CActiveProtectionDlg : public ManagementDialog, private ActiveProtectionView {
  public:
    CActiveProtectionDlg();
    ~CActiveProtectionDlg() override;

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
    void OnOk() override;
    void OnCancel() override;

  private:
    // ActiveProtectionView.
    bool BoxChecked(int id) override;
    void SetBox(int id, bool checked) override;
    void SetStatus(int text_id) override;
    void SetButtonCaption(int text_id) override;
    void EnableControl(int id, bool enable) override;
    bool Ask(int text_id) override;
    void ShowMessage(int text_id, int sound_kind) override;
    void Close(int result) override;
    void ShowWaitCursor(bool waiting) override;
    void LoadSettings(ActiveProtectionSettings& settings) override;
    void SaveSettings(const ActiveProtectionSettings& settings) override;
    void SetRunEntry(bool on_boot) override;
    bool ProtectionRuns() override;
    bool ProtectionWindowExists() override;
    void PostCloseToProtection() override;
    void PokeProtection() override;
    void StartProtectionProgram() override;
    void Sleep(unsigned milliseconds) override;

    std::unique_ptr<ActiveProtectionController> controller_;
    std::optional<ui::WaitCursor> wait_cursor_;
    ActiveProtectionSettings settings_{0, 0, 0, 1};
    std::wstring status_;
    std::wstring button_;
    bool stopped_ = false;
};

}  // namespace olvex
