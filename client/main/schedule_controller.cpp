#include "client/main/schedule_controller.h"

#include <utility>

#include "client/main/message_rules.h"

namespace olvex {
namespace {

// The format's first "%s" replaced by the job's description, which is never
// read as a format itself.
std::string FormatWithDescription(std::string format, const std::string& description) {
    const std::size_t at = format.find("%s");
    if (at != std::string::npos)
        format.replace(at, 2, description);
    return format;
}

}  // namespace

// A job as the settings describe it.
struct ScheduleController::JobSettings {
    std::string name;  // without ".job"
    std::string description;
    std::string account;
    std::optional<std::string> password;  // none: the logged-on user
    std::string application;
    std::string parameters;
    std::string working_directory;
    std::uint32_t flags = 0;
    TriggerRecord trigger;
};

ScheduleController::ScheduleController(ScheduleView& view, ScanSchedulerFactory scheduler,
                                       std::string install_folder, bool nt_family)
    : view_(view),
      scheduler_(std::move(scheduler)),
      install_folder_(std::move(install_folder)),
      nt_family_(nt_family) {}

std::unique_ptr<ScanScheduler> ScheduleController::CreateScheduler() {
    std::unique_ptr<ScanScheduler> scheduler;
    if (!Succeeded(scheduler_(scheduler)) || !scheduler) {
        view_.ShowMessage(kTextSchedulerFailed, kSoundWarning);
        return nullptr;
    }
    return scheduler;
}

std::string ScheduleController::FileNameOfEntry(int index) {
    return JobFileNameOf(view_.EntryText(index));
}

bool ScheduleController::FillScanList() {
    const auto scheduler = CreateScheduler();
    if (!scheduler)
        return false;
    std::vector<std::string> names;
    if (!Succeeded(scheduler->Enum(names))) {
        view_.ShowMessage(kTextEnumFailed, kSoundWarning);
        return false;
    }
    for (const std::string& name : names) {
        const auto description = DescriptionOfJobFile(name);
        if (!description)
            continue;
        // A damaged job file is not listed.
        std::unique_ptr<ScanJob> job;
        if (Succeeded(scheduler->Activate(BareJobName(name), job)) && job) {
            view_.AppendEntry(*description);
            job->Release();
        }
    }
    return true;
}

ScheduleController::CheckOutcome ScheduleController::CheckConflicts(ScanScheduler& scheduler,
                                                                    int minutes, bool ask,
                                                                    const std::string& skip) {
    std::vector<std::string> names;
    if (!Succeeded(scheduler.Enum(names))) {
        view_.ShowMessage(kTextEnumFailed, kSoundWarning);
        return CheckOutcome::kStopped;
    }
    for (const std::string& name : names) {
        const auto description = DescriptionOfJobFile(name);
        if (!description || (!skip.empty() && SameJobFile(name, skip)))
            continue;
        std::unique_ptr<ScanJob> job;
        if (!Succeeded(scheduler.Activate(BareJobName(name), job)) || !job)
            continue;
        TriggerRecord trigger;
        const SchedulerResult got = job->GetTrigger(0);
        const int failure = !Succeeded(got)                              ? kTextGetTriggerFailed
                            : !Succeeded(job->GetTriggerRecord(trigger)) ? kTextGetTimeFailed
                                                                         : 0;
        job->Release();
        if (failure != 0) {
            view_.ShowMessage(failure, kSoundWarning);
            editing_ = false;
            return CheckOutcome::kStopped;
        }
        switch (ConflictBetween(minutes, TriggerMinutes(trigger))) {
            case TimeConflict::kSameTime:
                view_.ShowMessageText(
                    FormatWithDescription(view_.Text(kTextSameTime), *description), kSoundWarning);
                dirty_ = false;
                return CheckOutcome::kStopped;
            case TimeConflict::kNear:
                if (ask && !view_.AskText(FormatWithDescription(view_.Text(kTextNearQuestion),
                                                                *description))) {
                    view_.ShowMessage(kTextScheduleCanceled, kSoundDone);
                    dirty_ = false;
                    return CheckOutcome::kStopped;
                }
                break;
            case TimeConflict::kNone:
                break;
        }
    }
    return CheckOutcome::kGoOn;
}

std::optional<RunAsAccount> ScheduleController::ChosenAccount(bool ask_current_user,
                                                              int canceled_text) {
    if (view_.CurrentUserChosen()) {
        if (nt_family_ && ask_current_user && !view_.Ask(kTextCurrentUserQuestion)) {
            view_.ShowMessage(canceled_text, kSoundDone);
            dirty_ = false;
            return std::nullopt;
        }
        return RunAsAccount{view_.LogonName(), {}};
    }
    auto typed = TypedRunAsAccount(view_.AccountText(), view_.PasswordText());
    if (!typed)
        view_.ShowMessage(kTextAccountRequired, kSoundWarning);
    return typed;
}

namespace {

// The settings written into a job; each failure shows its message. The
// trigger is a new one, or the job's first for a job changed in place.
bool WriteJob(ScheduleView& view, ScanJob& job, const ScheduleController::JobSettings& settings,
              bool nt_family, bool new_trigger) {
    auto failed = [&](SchedulerResult result, int text) {
        if (Succeeded(result))
            return false;
        view.ShowMessage(text, kSoundWarning);
        return true;
    };
    if (failed(job.SetApplicationName(settings.application), kTextSetApplicationFailed) ||
        failed(job.SetParameters(settings.parameters), kTextSetParametersFailed) ||
        failed(job.SetFlags(settings.flags), kTextSetFlagsFailed))
        return false;
    if (nt_family &&
        failed(job.SetAccountInformation(settings.account,
                                         settings.password ? &*settings.password : nullptr),
               kTextSetAccountFailed))
        return false;
    if (failed(job.SetWorkingDirectory(settings.working_directory), kTextSetFolderFailed))
        return false;
    if (failed(new_trigger ? job.CreateTrigger() : job.GetTrigger(0),
               new_trigger ? kTextCreateTriggerFailed : kTextGetTriggerFailed) ||
        failed(job.SetTrigger(settings.trigger), kTextSetTriggerFailed) ||
        failed(job.QueryPersist(), kTextPersistFailed))
        return false;
    return true;
}

}  // namespace

std::optional<ScheduleController::JobSettings> ScheduleController::PrepareJob(bool new_scan,
                                                                              int canceled_text) {
    auto account = ChosenAccount(new_scan, canceled_text);
    if (!account)
        return std::nullopt;
    JobSettings settings;
    const TimeOfDay time = view_.ChosenTime();
    std::string time_text = view_.FormatTime(time);
    if (time_text.size() > kMaxTimeText)
        time_text.resize(kMaxTimeText);
    const auto name = MakeScanJobName(account->account, time_text);
    if (!name) {
        view_.ShowMessage(kTextCreateFailed, kSoundWarning);
        return std::nullopt;
    }
    const auto application = ScannerApplicationName(install_folder_);
    if (!application || install_folder_.size() > kMaxWorkingDirectory) {
        view_.ShowMessage(kTextPathTooLong, kSoundWarning);
        return std::nullopt;
    }
    settings.name = *name;
    settings.description = name->substr(sizeof(kScanJobPrefix) - 1);
    settings.account = account->account;
    if (!view_.CurrentUserChosen())
        settings.password = account->password;
    settings.application = *application;
    settings.parameters = ScanParameters(view_.QuarantineChosen());
    settings.working_directory = install_folder_;
    settings.flags = ScanJobFlags(view_.CurrentUserChosen());
    settings.trigger = DailyTrigger(view_.Today(), time.hour, time.minute);
    return settings;
}

bool ScheduleController::CreateJob(const JobSettings& settings, bool new_scan,
                                   const std::string& skip) {
    const auto scheduler = CreateScheduler();
    if (!scheduler)
        return false;
    if (CheckConflicts(*scheduler, TriggerMinutes(settings.trigger), new_scan, skip) ==
        CheckOutcome::kStopped)
        return false;
    std::unique_ptr<ScanJob> job;
    if (!Succeeded(scheduler->NewWorkItem(settings.name, job)) || !job) {
        view_.ShowMessage(kTextCreateFailed, kSoundWarning);
        return false;
    }
    if (!WriteJob(view_, *job, settings, nt_family_, true)) {
        job->Release();
        return false;
    }
    const SchedulerResult saved = job->Save();
    job->Release();
    if (!Succeeded(saved)) {
        // A job the scheduler would not take (a bad account) is not left half made.
        scheduler->Delete(settings.name);
        view_.ShowMessage(kTextSaveFailed, kSoundWarning);
        return false;
    }
    view_.AppendEntry(settings.description);
    view_.FocusOk();
    dirty_ = false;
    return true;
}

void ScheduleController::ScheduleScan(bool new_scan) {
    if (const auto settings = PrepareJob(new_scan, kTextScheduleCanceled))
        CreateJob(*settings, new_scan, {});
}

void ScheduleController::LoadSelectedScan() {
    const int selected = view_.SelectedEntry();
    if (selected < 0) {
        editing_ = false;
        return;
    }
    std::unique_ptr<ScanJob> job;
    {
        const auto scheduler = CreateScheduler();
        if (!scheduler) {
            editing_ = false;
            return;
        }
        if (!Succeeded(scheduler->Activate(BareJobName(FileNameOfEntry(selected)), job)) || !job) {
            editing_ = false;
            view_.ShowMessage(kTextJobNotFound, kSoundWarning);
            return;
        }
    }
    TriggerRecord trigger;
    std::string parameters;
    std::uint32_t flags = kTaskFlagDeleteWhenDone;
    std::string account;
    int failure = 0;
    if (!Succeeded(job->GetTrigger(0)))
        failure = kTextGetTriggerFailed;
    else if (!Succeeded(job->GetTriggerRecord(trigger)))
        failure = kTextGetTimeFailed;
    else if (!Succeeded(job->GetParameters(parameters)))
        failure = kTextGetActionFailed;
    else if (nt_family_ && !Succeeded(job->GetFlags(flags)))
        failure = kTextGetFlagsFailed;
    // Windows 9x keeps no account with a job.
    else if (nt_family_ && (flags & kTaskFlagRunOnlyIfLoggedOn) == 0 &&
             !Succeeded(job->GetAccountInformation(account)))
        failure = kTextGetAccountFailed;
    job->Release();
    if (failure != 0) {
        editing_ = false;
        view_.ShowMessage(failure, kSoundWarning);
        return;
    }
    view_.SetTime({trigger.wStartHour, trigger.wStartMinute});
    view_.SetQuarantine(ParametersQuarantine(parameters));
    if (nt_family_) {
        const bool current_user = (flags & kTaskFlagRunOnlyIfLoggedOn) != 0;
        view_.SetCurrentUser(current_user);
        if (current_user)
            view_.ClearAccountAndPassword();
        else
            view_.SetAccountText(account);
        // Filling the edits reported changes of their own.
        dirty_ = false;
        view_.EnableControl(kScheduleAccountEdit, !current_user);
        view_.EnableControl(kSchedulePasswordEdit, !current_user);
    }
    editing_ = true;
    edited_entry_ = selected;
    view_.EnableControl(kScheduleApplyButton, true);
    view_.Redraw();
}

bool ScheduleController::DeleteJob(const std::string& file_name) {
    const auto scheduler = CreateScheduler();
    if (!scheduler)
        return false;
    const std::string name = BareJobName(file_name);
    std::unique_ptr<ScanJob> job;
    if (!Succeeded(scheduler->Activate(name, job)) || !job) {
        view_.ShowMessage(kTextJobNotFound, kSoundWarning);
        return false;
    }
    if (!Succeeded(job->QueryPersist())) {
        job->Release();
        view_.ShowMessage(kTextPersistFailed, kSoundWarning);
        return false;
    }
    std::uint16_t count = 0;
    if (!Succeeded(job->GetTriggerCount(count))) {
        job->Release();
        return false;
    }
    // The job loses its triggers first: should the deletion fail, it no
    // longer runs.
    for (std::uint16_t i = 0; i < count; ++i) {
        if (Succeeded(job->GetTriggerString(i)) && Succeeded(job->DeleteTrigger(0)))
            job->Save();
    }
    // The scheduler refuses to delete a job while anything of it is held.
    job->Release();
    job.reset();
    if (!Succeeded(scheduler->Delete(name))) {
        view_.ShowMessage(kTextJobNotFound, kSoundWarning);
        return false;
    }
    return true;
}

void ScheduleController::DeleteSelectedScan() {
    const int selected = view_.SelectedEntry();
    if (selected < 0)
        return;
    if (!DeleteJob(FileNameOfEntry(selected)))
        return;
    RemoveEntry(selected);
}

void ScheduleController::RemoveEntry(int index) {
    view_.DeleteEntry(index);
    const ScanListButtons buttons =
        ScanListButtonsAfterRemoval(view_.EntryCount(), view_.SelectedEntry());
    view_.EnableControl(kScheduleDeleteButton, buttons.delete_enabled);
    view_.EnableControl(kScheduleEditButton, buttons.edit_enabled);
    view_.EnableControl(kScheduleApplyButton, buttons.apply_enabled);
    dirty_ = false;
    editing_ = false;
    edited_entry_ = -1;
}

void ScheduleController::ApplyEdits() {
    view_.EnableControl(kScheduleDeleteButton, true);
    const auto settings = PrepareJob(true, kTextEditCanceled);
    if (!settings)
        return;
    const int selected = view_.SelectedEntry();
    if (selected < 0) {
        dirty_ = false;
        return;
    }
    const std::string old_file = FileNameOfEntry(selected);
    {
        const auto scheduler = CreateScheduler();
        if (!scheduler)
            return;
        if (CheckConflicts(*scheduler, TriggerMinutes(settings->trigger), true, old_file) ==
            CheckOutcome::kStopped)
            return;
    }
    editing_ = false;
    view_.EnableControl(kScheduleNewButton, true);
    view_.EnableControl(kScheduleApplyButton, false);

    if (SameJobFile(old_file, JobFileNameOf(settings->description))) {
        ChangeJobInPlace(*settings);
        return;
    }
    // The new job first: the user never loses the old one to a failure.
    if (!CreateJob(*settings, false, old_file))
        return;
    if (DeleteJob(old_file))
        RemoveEntry(selected);
    dirty_ = false;
}

void ScheduleController::ChangeJobInPlace(const JobSettings& settings) {
    const auto scheduler = CreateScheduler();
    if (!scheduler)
        return;
    std::unique_ptr<ScanJob> job;
    if (!Succeeded(scheduler->Activate(settings.name, job)) || !job) {
        view_.ShowMessage(kTextJobNotFound, kSoundWarning);
        return;
    }
    const bool written = WriteJob(view_, *job, settings, nt_family_, false);
    const SchedulerResult saved = written ? job->Save() : kSchedulerOk;
    job->Release();
    if (!written)
        return;
    if (!Succeeded(saved)) {
        view_.ShowMessage(kTextSaveFailed, kSoundWarning);
        return;
    }
    view_.FocusOk();
    dirty_ = false;
}

void ScheduleController::OnThisUser() {
    dirty_ = true;
    view_.EnableControl(kScheduleAccountEdit, true);
    view_.EnableControl(kSchedulePasswordEdit, true);
}

void ScheduleController::OnCurrentUser() {
    dirty_ = true;
    view_.ClearAccountAndPassword();
    view_.EnableControl(kScheduleAccountEdit, false);
    view_.EnableControl(kSchedulePasswordEdit, false);
}

void ScheduleController::OnScanListSelChange() {
    if (editing_ && dirty_ && !view_.Ask(kTextUnappliedEdit)) {
        // The unapplied edit stays with its own job.
        view_.SelectEntry(edited_entry_);
        return;
    }
    view_.EnableControl(kScheduleDeleteButton, true);
    view_.EnableControl(kScheduleEditButton, true);
    LoadSelectedScan();
}

void ScheduleController::OnScanListSelCancel() {
    editing_ = false;
    view_.EnableControl(kScheduleDeleteButton, false);
    view_.EnableControl(kScheduleEditButton, false);
}

void ScheduleController::OnEditScan() {
    view_.EnableControl(kScheduleDeleteButton, false);
    view_.EnableControl(kScheduleNewButton, false);
    LoadSelectedScan();
}

bool ScheduleController::MayClose() {
    if (!dirty_)
        return true;
    return view_.Ask(editing_ ? kTextUnappliedEdit : kTextUnsavedNewScan);
}

}  // namespace olvex
