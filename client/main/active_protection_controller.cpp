#include "client/main/active_protection_controller.h"

#include "client/main/message_rules.h"
#include "client/main/page_rules.h"

namespace olvex {

ActiveProtectionController::ActiveProtectionController(ActiveProtectionView& view,
                                                       bool limited_rights)
    : view_(view), limited_rights_(limited_rights) {}

void ActiveProtectionController::OnInitDialog() {
    view_.LoadSettings(settings_);
    view_.SetBox(kApMemoryBox, settings_.memory == 1);
    view_.SetBox(kApCookiesBox, settings_.cookies == 1);
    view_.SetBox(kApOnBootBox, settings_.on_boot == 1);
    // Opening the dialog brings the Run key in line with the file.
    if (!limited_rights_)
        view_.SetRunEntry(settings_.on_boot == 1);
    if (view_.ProtectionRuns()) {
        ShowProtectingStatus();
        view_.SetButtonCaption(kDialogStopStringId);
        stopped_ = false;
    } else {
        view_.SetStatus(kDialogStoppedStringId);
        view_.SetButtonCaption(kDialogStartStringId);
        stopped_ = true;
    }
    if (limited_rights_) {
        for (const int id : {kApMemoryBox, kApCookiesBox, kApOnBootBox, kApOk, kApApply})
            view_.EnableControl(id, false);
    }
}

void ActiveProtectionController::OnOptionChanged() {
    dirty_ = true;
    view_.EnableControl(kApApply, true);
}

void ActiveProtectionController::OnStartStop() {
    if (stopped_)
        StartProtection();
    else if (view_.Ask(kApStopQuestion))
        StopProtection(true);
    view_.EnableControl(kApApply, !limited_rights_);
}

void ActiveProtectionController::ReadBoxes() {
    settings_.memory = view_.BoxChecked(kApMemoryBox) ? 1 : 0;
    settings_.cookies = view_.BoxChecked(kApCookiesBox) ? 1 : 0;
    settings_.on_boot = view_.BoxChecked(kApOnBootBox) ? 1 : 0;
}

void ActiveProtectionController::ShowProtectingStatus() {
    view_.SetStatus(settings_.memory == 1 || settings_.cookies == 1 ? kDialogProtectingStringId
                                                                    : kNotProtectingStringId);
}

void ActiveProtectionController::OnApply() {
    if (limited_rights_)
        return;
    ReadBoxes();
    view_.SaveSettings(settings_);
    ShowProtectingStatus();
    view_.SetRunEntry(settings_.on_boot == 1);
    dirty_ = false;
    view_.EnableControl(kApApply, false);
    view_.EnableControl(kApCancel, false);
}

bool ActiveProtectionController::WaitUntilProtectionEnded() {
    for (int look = 0; look < kApCloseLooks; ++look) {
        if (!view_.ProtectionRuns())
            return true;
        view_.Sleep(kApCloseLookMs);
    }
    return !view_.ProtectionRuns();
}

void ActiveProtectionController::OnOk() {
    if (limited_rights_)
        return;
    if (!dirty_) {
        view_.Close(kApOk);
        return;
    }
    const bool was_running = view_.ProtectionRuns();
    bool ended = true;
    if (was_running) {
        view_.ShowWaitCursor(true);
        StopProtection(false);
        // Wakenor reads its settings when it starts: it is started again
        // only once the old one has gone, else the old one would merely be
        // poked and keep the old settings.
        ended = WaitUntilProtectionEnded();
        view_.ShowWaitCursor(false);
    }
    ReadBoxes();
    view_.SaveSettings(settings_);
    ShowProtectingStatus();
    view_.SetRunEntry(settings_.on_boot == 1);
    if (was_running) {
        if (ended)
            StartProtection();
        else
            view_.ShowMessage(kApCannotStopMessage, kSoundWarning);
    }
    view_.Close(kApOk);
}

void ActiveProtectionController::OnCancel() {
    if (dirty_ && !view_.Ask(kApUnsavedQuestion))
        return;
    view_.Close(kApCancel);
}

void ActiveProtectionController::StopProtection(bool wait) {
    if (!view_.ProtectionWindowExists())
        return;
    view_.PostCloseToProtection();
    if (!wait)
        return;
    for (int look = 0; look < kApCloseLooks; ++look) {
        if (!view_.ProtectionWindowExists())
            return;
        view_.Sleep(kApCloseLookMs);
    }
    view_.ShowMessage(kApCannotStopMessage, kSoundWarning);
}

void ActiveProtectionController::StartProtection() {
    if (view_.ProtectionWindowExists()) {
        view_.PokeProtection();
        return;
    }
    view_.StartProtectionProgram();
}

}  // namespace olvex
