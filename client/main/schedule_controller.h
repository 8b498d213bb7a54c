// The Schedule dialog's logic apart from its window: the two flags that
// track unsaved changes (dirty, editing), which buttons are enabled, and the
// operations on scheduled scans (list, schedule, load, delete, apply edits)
// over a Task Scheduler session of its own for each operation. The dialog
// gives the controls' values and shows what the controller asks through
// ScheduleView.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "client/main/scan_scheduler.h"
#include "client/main/schedule_rules.h"

namespace olvex {

// Control ids the controller enables and disables.
enum ScheduleControl : int {
    kScheduleDeleteButton = 1172,
    kScheduleNewButton = 1189,
    kScheduleEditButton = 1191,
    kScheduleApplyButton = 1192,
    kScheduleAccountEdit = 1186,
    kSchedulePasswordEdit = 1188,
};

struct TimeOfDay {
    int hour = 0;
    int minute = 0;
};

class ScheduleView {
  public:
    virtual ~ScheduleView() = default;
    // The main program's Message dialog and Yes/No questions (true: Yes).
    virtual void ShowMessage(int text_id, int sound_kind) = 0;
    virtual void ShowMessageText(const std::string& text, int sound_kind) = 0;
    virtual bool Ask(int text_id) = 0;
    virtual bool AskText(const std::string& text) = 0;
    // A string of the program's table ("%s" formats).
    virtual std::string Text(int text_id) = 0;

    // The settings as the controls hold them.
    virtual TimeOfDay ChosenTime() = 0;
    virtual std::string FormatTime(const TimeOfDay& time) = 0;
    virtual bool QuarantineChosen() = 0;
    virtual bool CurrentUserChosen() = 0;
    virtual std::string AccountText() = 0;
    virtual std::string PasswordText() = 0;
    virtual std::string LogonName() = 0;
    virtual LocalDate Today() = 0;

    // Showing a job's settings. The edits' change notifications come back as
    // SettingChanged.
    virtual void SetTime(const TimeOfDay& time) = 0;
    virtual void SetQuarantine(bool quarantine) = 0;
    virtual void SetCurrentUser(bool current_user) = 0;
    virtual void SetAccountText(const std::string& account) = 0;
    virtual void ClearAccountAndPassword() = 0;

    // The list of scheduled scans.
    virtual int SelectedEntry() = 0;  // -1: none
    virtual std::string EntryText(int index) = 0;
    virtual int EntryCount() = 0;
    virtual void AppendEntry(const std::string& text) = 0;
    virtual void DeleteEntry(int index) = 0;
    virtual void SelectEntry(int index) = 0;

    virtual void EnableControl(int id, bool enable) = 0;
    virtual void FocusOk() = 0;
    virtual void Redraw() = 0;
};

class ScheduleController {
  public:
    ScheduleController(ScheduleView& view, ScanSchedulerFactory scheduler,
                       std::string install_folder, bool nt_family);

    bool dirty() const { return dirty_; }
    bool editing() const { return editing_; }

    // The dialog's start: the list filled; false when a scheduler failure
    // stopped it.
    bool FillScanList();
    void ScheduleScan(bool new_scan);
    void LoadSelectedScan();
    void DeleteSelectedScan();
    void ApplyEdits();

    // The dialog's handlers.
    void SettingChanged() { dirty_ = true; }
    void OnThisUser();
    void OnCurrentUser();
    void OnScanListSelChange();
    void OnScanListSelCancel();
    void OnEditScan();
    // Whether the dialog may close (asking 269 or 271 when changes wait).
    bool MayClose();

    struct JobSettings;

  private:
    enum class CheckOutcome { kGoOn, kStopped };
    std::unique_ptr<ScanScheduler> CreateScheduler();
    // The other jobs of the program against the time; `skip` is the file
    // name of the job being edited.
    CheckOutcome CheckConflicts(ScanScheduler& scheduler, int minutes, bool ask,
                                const std::string& skip);
    // The job name removed only when the scheduler has it no more.
    bool DeleteJob(const std::string& file_name);
    std::optional<RunAsAccount> ChosenAccount(bool ask_current_user, int canceled_text);
    std::string FileNameOfEntry(int index);
    std::optional<JobSettings> PrepareJob(bool new_scan, int canceled_text);
    // Makes and saves the job, and lists it; `skip` as for CheckConflicts.
    bool CreateJob(const JobSettings& settings, bool new_scan, const std::string& skip);
    void ChangeJobInPlace(const JobSettings& settings);
    void RemoveEntry(int index);

    ScheduleView& view_;
    ScanSchedulerFactory scheduler_;
    std::string install_folder_;
    bool nt_family_;
    bool dirty_ = false;
    bool editing_ = false;
    // The entry whose job the settings hold while an edit is under way.
    int edited_entry_ = -1;
};

}  // namespace olvex
