// `CScheduleDlg`, the Schedule dialog (template 179): the settings of a new
// daily scan on the left, the scheduled scans on the right. The scan page
// runs it while the Task Scheduler is available. Its logic is the
// ScheduleController (schedule_controller.h); this class moves values
// between the controls and it.
#pragma once

#include <memory>
#include <optional>

#include "client/common/ui/gdi.h"
#include "client/main/program_dialog.h"
#include "client/main/schedule_controller.h"

namespace olvex {

class CScheduleDlg : public ManagementDialog, private ScheduleView {
  public:
    CScheduleDlg();
    ~CScheduleDlg() override;

    // Test builds: the time picker's clock (true: 24 hours) instead of the
    // system locale's, and the platform id instead of the application's.
    static void OverrideClock(std::optional<bool> twenty_four_hours);
    static void OverridePlatform(std::optional<unsigned long> platform_id);

  protected:
    bool OnInitDialog() override;
    void OnCancel() override;
    HBRUSH OnControlColor(HDC dc, HWND control, UINT message) override;

  private:
    void CreateFonts();
    void ApplyFonts();
    void SetTimeFormat();

    // ScheduleView.
    void ShowMessage(int text_id, int sound_kind) override;
    void ShowMessageText(const std::string& text, int sound_kind) override;
    bool Ask(int text_id) override;
    bool AskText(const std::string& text) override;
    std::string Text(int text_id) override;
    TimeOfDay ChosenTime() override;
    std::string FormatTime(const TimeOfDay& time) override;
    bool QuarantineChosen() override;
    bool CurrentUserChosen() override;
    std::string AccountText() override;
    std::string PasswordText() override;
    std::string LogonName() override;
    LocalDate Today() override;
    void SetTime(const TimeOfDay& time) override;
    void SetQuarantine(bool quarantine) override;
    void SetCurrentUser(bool current_user) override;
    void SetAccountText(const std::string& account) override;
    void ClearAccountAndPassword() override;
    int SelectedEntry() override;
    std::string EntryText(int index) override;
    int EntryCount() override;
    void AppendEntry(const std::string& text) override;
    void DeleteEntry(int index) override;
    void SelectEntry(int index) override;
    void EnableControl(int id, bool enable) override;
    void FocusOk() override;
    void Redraw() override;

    std::unique_ptr<ScheduleController> controller_;
    HBRUSH m_brHollow;
    win::UniqueBrush m_brGrey;
    win::UniqueFont m_fontTitle;
    win::UniqueFont m_fontText;
};

}  // namespace olvex
