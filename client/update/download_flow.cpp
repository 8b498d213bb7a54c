#include "client/update/download_flow.h"

namespace olvex {
namespace {

std::size_t IndexOf(UpdateChannel channel) {
    return static_cast<std::size_t>(channel);
}

}  // namespace

DownloadFlow::DownloadFlow(DownloadView& view, DownloadRunKind kind, bool no_question,
                           bool restricted)
    : view_(view), kind_(kind), no_question_(no_question), restricted_(restricted) {}

void DownloadFlow::SetChannelExists(UpdateChannel channel, bool exists) {
    exists_[IndexOf(channel)] = exists;
}

bool DownloadFlow::ChannelExists(UpdateChannel channel) const {
    return exists_[IndexOf(channel)];
}

void DownloadFlow::ResetChannels() {
    for (auto& flag : failed_)
        flag.store(false);
}

void DownloadFlow::MarkFailed(UpdateChannel channel) {
    failed_[IndexOf(channel)].store(true);
}

bool DownloadFlow::IsFailed(UpdateChannel channel) const {
    return failed_[IndexOf(channel)].load();
}

bool DownloadFlow::AnyExistingFailed() const {
    for (std::size_t i = 0; i < kUpdateChannelCount; ++i) {
        if (exists_[i] && failed_[i].load())
            return true;
    }
    return false;
}

bool DownloadFlow::AllExistingFailed() const {
    for (std::size_t i = 0; i < kUpdateChannelCount; ++i) {
        if (exists_[i] && !failed_[i].load())
            return false;
    }
    return true;
}

void DownloadFlow::SetButton(DownloadButton button) {
    button_ = button;
    view_.ShowButton(button);
}

void DownloadFlow::Open() {
    SetButton(DownloadButton::kClose);
    view_.ShowStatus(DownloadStatus::kReady, {});
}

void DownloadFlow::BeginCheck() {
    SetButton(DownloadButton::kCancel);
    view_.ShowStatus(DownloadStatus::kChecking, {});
    if (no_question_)
        view_.ShowNext(false);
    apply_decision_ = false;
    checking_ = true;
}

void DownloadFlow::BeginSilentCheck() {
    apply_decision_ = false;
    checking_ = true;
}

void DownloadFlow::AbandonCheck() {
    checking_ = false;
    check_abandoned_ = true;
    update_failed_ = true;
}

void DownloadFlow::OnChecked(const std::vector<ChannelCheck>& checks) {
    if (check_abandoned_ || ended_)
        return;
    checking_ = false;
    long count = 0;
    long bytes = 0;
    for (const ChannelCheck& check : checks) {
        if (check.count < 0) {
            view_.ShowStatus(DownloadStatus::kCheckFailed, {});
            SetButton(DownloadButton::kClose);
            if (no_question_)
                OnButton();
            return;
        }
        count += check.count;
        bytes += check.bytes;
    }
    check_done_ = true;
    if (count < 1 || bytes < 1) {
        view_.ShowStatus(DownloadStatus::kUpToDate, {});
        SetButton(DownloadButton::kClose);
        if (no_question_)
            OnButton();
        return;
    }
    view_.ShowStatus(DownloadStatus::kDownloading, {});
    worker_running_ = true;
    view_.StartWorker();
    SetButton(DownloadButton::kCancel);
    view_.ShowProgress(true);
}

void DownloadFlow::OnSilentChecked(const std::vector<ChannelCheck>& checks) {
    if (check_abandoned_ || ended_)
        return;
    checking_ = false;
    apply_decision_ = false;
    long count = 0;
    long bytes = 0;
    for (const ChannelCheck& check : checks) {
        // A failed check is no check: "lastupdate" stays, and the next daily
        // start tries again.
        if (check.count < 0) {
            Finish();
            return;
        }
        count += check.count;
        bytes += check.bytes;
    }
    check_done_ = true;
    if (count < 1 || bytes < 1) {
        Finish();
        return;
    }
    worker_running_ = true;
    view_.StartWorker();
}

void DownloadFlow::OnUpdateBegin(UpdateChannel channel, std::int64_t total_bytes) {
    total_bytes_[IndexOf(channel)] = total_bytes;
    received_bytes_[IndexOf(channel)] = 0;
}

void DownloadFlow::OnFileProgress(const std::string& file) {
    view_.ShowStatus(DownloadStatus::kDownloadingFile, file);
    // Once cancelled, a late progress report must not offer Cancel again.
    if (!AnyExistingFailed())
        SetButton(DownloadButton::kCancel);
}

void DownloadFlow::OnFileFinished(UpdateChannel channel, std::int64_t size) {
    const std::size_t i = IndexOf(channel);
    received_bytes_[i] += size;
    if (total_bytes_[i] > 0 && received_bytes_[i] == total_bytes_[i]) {
        view_.ShowStatus(DownloadStatus::kFilesReceived, {});
        if (!AnyExistingFailed())
            SetButton(DownloadButton::kClose);
    }
}

void DownloadFlow::OnUpdateProgress() {
    if (!AnyExistingFailed())
        SetButton(DownloadButton::kCancel);
}

void DownloadFlow::OnWorkerEnded() {
    if (!worker_running_)
        return;
    worker_running_ = false;
    view_.ShowStatus(DownloadStatus::kStopping, {});
    view_.ShowProgress(false);
    if (close_pending_) {
        apply_decision_ = false;
        update_failed_ = true;
        Finish();
        return;
    }
    if (AnyExistingFailed()) {
        // One channel's error keeps every channel's downloads from being applied.
        apply_decision_ = false;
        update_failed_ = true;
        view_.ShowStatus(DownloadStatus::kCancelled, {});
        SetButton(DownloadButton::kClose);
    } else {
        apply_decision_ = view_.ConfirmApply(!no_question_);
        if (automatic_apply()) {
            if (apply_decision_) {
                view_.StartUpdateUtility();
                view_.WriteUpdateHistory();
            }
            Finish();
            return;
        }
        view_.ShowStatus(DownloadStatus::kRestartNeeded, {});
        SetButton(apply_decision_ ? DownloadButton::kApply : DownloadButton::kClose);
        if (apply_decision_ && no_question_)
            OnButton();
    }
    ResetChannels();
    if (no_question_ || automatic_apply())
        Finish();
}

void DownloadFlow::CancelChannels() {
    for (auto& flag : failed_)
        flag.store(true);
    apply_decision_ = false;
    SetButton(DownloadButton::kClose);
}

void DownloadFlow::OnButton() {
    if (ended_)
        return;
    if (checking_) {
        // Cancel while the check waits on the server: the check is given
        // up, its late answer ignored.
        AbandonCheck();
        view_.ShowStatus(DownloadStatus::kCancelled, {});
        SetButton(DownloadButton::kClose);
        if (no_question_)
            Finish();
        return;
    }
    if (worker_running_) {
        // The window stays until the worker has ended: its callbacks still
        // report to it. Cancel stops the download; any other press (or a run
        // that asks nothing) also closes the window once the worker is done.
        const bool close = button_ != DownloadButton::kCancel || no_question_;
        CancelChannels();
        close_pending_ = close_pending_ || close;
        return;
    }
    if (button_ == DownloadButton::kCancel) {
        CancelChannels();
        if (no_question_)
            Finish();
        return;
    }
    if (apply_decision_) {
        view_.StartUpdateUtility();
        view_.WriteUpdateHistory();
    }
    Finish();
}

void DownloadFlow::OnCloseRequest() {
    if (ended_)
        return;
    if (checking_) {
        // The check holds nothing of the window's: the window goes at once.
        AbandonCheck();
        apply_decision_ = false;
        Finish();
        return;
    }
    if (worker_running_) {
        CancelChannels();
        close_pending_ = true;
        return;
    }
    apply_decision_ = false;
    Finish();
}

void DownloadFlow::OnTimeLimit() {
    if (ended_)
        return;
    const bool ends_by_itself = no_question_ || automatic_apply();
    if (checking_) {
        AbandonCheck();
        view_.ShowStatus(DownloadStatus::kCancelled, {});
        SetButton(DownloadButton::kClose);
        if (ends_by_itself)
            Finish();
        return;
    }
    if (worker_running_) {
        // The download stops at its next report; the outcome is a failure.
        CancelChannels();
        close_pending_ = close_pending_ || ends_by_itself;
    }
}

void DownloadFlow::OnNext() {
    if (restricted_)
        return;
    view_.ShowNext(false);
    SetButton(DownloadButton::kCancel);
}

void DownloadFlow::Finish() {
    if (ended_)
        return;
    ended_ = true;
    view_.End();
}

}  // namespace olvex
