// `CWakenorDlg`: the protection window. It is made hidden and stays so while
// protection runs: the program lives in the notification area as an icon
// whose double-click (or the menu's Configure) shows the window as the
// Active Protection settings, and whose right button opens the menu. It owns
// the icon, the one-second timer, the settings of "qzad.ini" with the
// start-with-Windows entry, and the settings mutex while it is shown.
// Closing it (Stop, the menu's Stop, WM_CLOSE from another program) stops
// protection and ends the program.
//
// Any message whose wParam is -1 hides it (the main program's settings send
// 1026 with wParam -1 when they start protection while it runs); every 1026
// is the icon's and is consumed here, as a dialog would otherwise take it
// for DM_REPOSITION.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "client/common/active_protection_settings.h"
#include "client/common/ui/dialog.h"
#include "win/unique.h"
#include "client/protect/protection_options.h"
#include "client/protect/protection_ticks.h"
#include "client/protect/tray_icon.h"

namespace olvex::protect {

class CWakenorApp;

class CWakenorDlg final : public ui::Dialog, private ProtectionOptionsView {
  public:
    explicit CWakenorDlg(CWakenorApp& app);
    ~CWakenorDlg() override;

    // Makes the window, hidden; false when it could not be made.
    bool Create();

  protected:
    std::optional<LRESULT> PreviewMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
    bool OnInitDialog() override;
    void OnOk() override;
    void OnCancel() override;
    void OnTimer(UINT_PTR timer_id) override;
    void OnSize(UINT kind, int width, int height) override;
    HBRUSH OnControlColor(HDC dc, HWND control, UINT message) override;
    void OnDestroy() override;

  private:
    void OnTrayRequest(WPARAM wparam, LPARAM lparam);
    void RequestSettings();
    void ShowSettings();
    void Hide();
    void ReleaseSettingsMutex();
    void ShowMenu();
    void OpenMainProgram();
    void OpenHomePage() const;
    void ConfigureProxy();
    void AskToStop(HWND owner);
    void OnApply();
    void OnSettingsOk();
    bool ApplySettings();
    void OnStopNow();
    void OnClose();
    void OnViewLog() const;
    void OnPaint();
    void LoadSettings();
    bool SaveSettings();
    void ShowStatus() const;
    void WriteRunEntry() const;
    void MoveToPlace() const;
    void AddTrayIcon() const;
    void RunTimerStep();
    void RemindOfScan();
    void CountTick();
    void ManageWorker();
    // ProtectionOptionsView
    OptionBoxes Boxes() const override;
    void ShowBoxes(const OptionBoxes& boxes) override;
    void PublishScanOptions(bool memory, bool cookies) override;
    void WaitForWorker();

    CWakenorApp& app_;
    HICON icon_;
    TrayIcon tray_;
    UINT taskbar_created_;
    bool hide_on_paint_ = true;
    ProtectionOptions options_{*this};
    bool unsaved_ = false;  // changes whose save failed: tried again at close
    TickCounter ticks_;
    bool folder_message_shown_ = false;  // the reminder's folder messages come once a run
    win::UniqueHandle settings_mutex_;
    win::UniqueHandle worker_;  // the detection worker; none until the timer makes one
    POINT place_;               // half the screen's width and height
    int main_program_looks_left_ = 0;
    bool closing_ = false;
};

}  // namespace olvex::protect
