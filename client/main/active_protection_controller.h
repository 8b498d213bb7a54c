// The Active Protection Settings dialog's logic apart from its window: the
// settings and the dirty flag, which controls are enabled, what Apply, OK and
// Cancel do, and how the background protection (Wakenor) is stopped,
// started and restarted. The dialog and the system are reached through
// ActiveProtectionView.
#pragma once

#include "client/common/active_protection_settings.h"

namespace olvex {

// Controls and texts of the dialog (template 181, string ids).
enum ActiveProtectionControl : int {
    kApOk = 1,
    kApCancel = 2,
    kApMemoryBox = 1193,
    kApCookiesBox = 1195,
    kApOnBootBox = 1196,
    kApApply = 1200,
};
inline constexpr int kApUnsavedQuestion = 292;
inline constexpr int kApCannotStopMessage = 295;
inline constexpr int kApStopQuestion = 315;

// How often, and how long apart, Wakenor is looked for while it closes
// (about 15 seconds in all).
inline constexpr int kApCloseLooks = 60;
inline constexpr unsigned kApCloseLookMs = 250;

class ActiveProtectionView {
  public:
    virtual ~ActiveProtectionView() = default;
    virtual bool BoxChecked(int id) = 0;
    virtual void SetBox(int id, bool checked) = 0;
    virtual void SetStatus(int text_id) = 0;
    virtual void SetButtonCaption(int text_id) = 0;
    virtual void EnableControl(int id, bool enable) = 0;
    virtual bool Ask(int text_id) = 0;  // Yes/No; true: Yes
    virtual void ShowMessage(int text_id, int sound_kind) = 0;
    virtual void Close(int result) = 0;
    virtual void ShowWaitCursor(bool waiting) = 0;

    // qzad.ini and the Run key's entry.
    virtual void LoadSettings(ActiveProtectionSettings& settings) = 0;
    virtual void SaveSettings(const ActiveProtectionSettings& settings) = 0;
    virtual void SetRunEntry(bool on_boot) = 0;

    // Wakenor: its mutex, its window, closing, poking and starting it.
    virtual bool ProtectionRuns() = 0;
    virtual bool ProtectionWindowExists() = 0;
    virtual void PostCloseToProtection() = 0;
    virtual void PokeProtection() = 0;
    virtual void StartProtectionProgram() = 0;
    virtual void Sleep(unsigned milliseconds) = 0;
};

class ActiveProtectionController {
  public:
    ActiveProtectionController(ActiveProtectionView& view, bool limited_rights);

    const ActiveProtectionSettings& settings() const { return settings_; }
    bool stopped() const { return stopped_; }
    bool dirty() const { return dirty_; }

    void OnInitDialog();
    void OnOptionChanged();
    void OnStartStop();
    void OnApply();
    void OnOk();
    void OnCancel();
    // The home page's timer: whether Wakenor was found stopped (the button
    // then starts it).
    void SetStopped(bool stopped) { stopped_ = stopped; }

    // Asks Wakenor to close; with wait, waits (bounded) for its window to go
    // and tells the user when it stays.
    void StopProtection(bool wait);
    // Pokes the running Wakenor (its window hides), or starts it.
    void StartProtection();

  private:
    void ReadBoxes();
    void ShowProtectingStatus();
    // Waits (bounded) for Wakenor's mutex to go; whether it went.
    bool WaitUntilProtectionEnded();

    ActiveProtectionView& view_;
    bool limited_rights_;
    ActiveProtectionSettings settings_{0, 0, 0, 1};
    bool stopped_ = false;
    bool dirty_ = false;
};

}  // namespace olvex
