// The decisions of the updater's download window ("Kelvan Gorsewatch --
// Check for Updates"), free of the window system: which status it shows,
// what its one button (1008) says and does, when the download worker starts,
// whether the updates are applied, and when the window may go.
//
// The window runs in three ways: interactive (it waits for Next), silent (no
// question: it starts by itself and applies without asking) and automatic
// apply (hidden: it starts by itself and starts the update utility itself).
//
// The channels' cancelled-or-failed flags are shared with the worker and the
// engine's callbacks on the worker's thread, so they are atomic; everything
// else is touched only on the window's thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace olvex {

// The update channels, in the order every step takes them.
enum class UpdateChannel { kCore = 0, kProgram = 1, kSuite = 2 };
inline constexpr std::size_t kUpdateChannelCount = 3;

struct ChannelDescription {
    UpdateChannel channel;
    const char* url_file_key;   // in "updateurls.ini"
    const char* url_table_key;  // in "URLs.ini"
    const char* temp_folder;    // under %TEMP%, the channel's downloads
};

// core: the install folder's "core", program: the install folder, suite: the
// suite's own folder (only when the suite is installed).
inline constexpr std::array<ChannelDescription, kUpdateChannelCount> kUpdateChannels = {{
    {UpdateChannel::kCore, "coreurl", "CORE_UPDATES_URL", "_core_"},
    {UpdateChannel::kProgram, "progurl", "PROGRAM_UPDATES_URL", "_qzv5_"},
    {UpdateChannel::kSuite, "tromburl", "TROMB_UPDATES_URL", "_tromb_"},
}};

// Built-in control files, used when neither "updateurls.ini" nor "URLs.ini"
// names one. The reserved top-level domain never reaches a real host.
inline constexpr std::array<const char*, kUpdateChannelCount> kDefaultChannelUrls = {
    "http://updates.gorsewatch.invalid/core/qzmaster.dat",
    "http://updates.gorsewatch.invalid/program/qzmaster.dat",
    "http://updates.gorsewatch.invalid/suite/qzmaster.dat",
};

// How long one run may check and download in all. Each request has a limit
// of its own as well (the engine's downloader), so a run ends even when a
// server answers too slowly to trip any single time-out.
inline constexpr unsigned kRunTimeLimitMs = 60 * 60 * 1000;

enum class DownloadRunKind {
    kCheckNow = 0,   // the main window's Check Now
    kRunUpdate = 1,  // a start with an option: silent or prompted
    kAutoApply = 2,  // automatic apply
};

// What button 1008 says: "Close", "Cancel" or "Apply Updates".
enum class DownloadButton { kClose, kCancel, kApply };

enum class DownloadStatus {
    kReady,            // the window's first text
    kChecking,         // "Checking for available updates ..."
    kCheckFailed,      // "An error has occurred checking for updates. ..."
    kUpToDate,         // "Kelvan Gorsewatch is up-to-date"
    kDownloading,      // "Downloading updates ..."
    kDownloadingFile,  // "Downloading updates ..." followed by the file
    kFilesReceived,    // "Download complete."
    kStopping,         // "Stopping update ..."
    kCancelled,        // "Update cancelled due to user action or processing error!"
    kRestartNeeded,    // "Download complete. Kelvan Gorsewatch will need to\nrestart ..."
};

// One channel's answer to the check: a negative count means it failed.
struct ChannelCheck {
    long count = 0;
    long bytes = 0;
};

// What the flow asks of its window.
class DownloadView {
  public:
    virtual ~DownloadView() = default;
    virtual void ShowStatus(DownloadStatus status, const std::string& file) = 0;
    virtual void ShowButton(DownloadButton button) = 0;
    virtual void ShowNext(bool shown) = 0;
    virtual void ShowProgress(bool shown) = 0;
    virtual void StartWorker() = 0;
    // True when the updates are to be applied now: a question only when the
    // main program or a scan window is open, and never without questions.
    virtual bool ConfirmApply(bool ask) = 0;
    virtual void StartUpdateUtility() = 0;
    virtual void WriteUpdateHistory() = 0;
    // Ends the window; its callers then read check_done.
    virtual void End() = 0;
};

class DownloadFlow {
  public:
    DownloadFlow(DownloadView& view, DownloadRunKind kind, bool no_question, bool restricted);

    DownloadRunKind kind() const { return kind_; }
    bool no_question() const { return no_question_; }
    bool automatic_apply() const { return kind_ == DownloadRunKind::kAutoApply; }
    // The window is hidden: automatic apply without no-question.
    bool hidden() const { return automatic_apply() && !no_question_; }
    // The run starts by itself once shown (else it waits for Next).
    bool starts_by_itself() const { return no_question_ || automatic_apply(); }

    // Which channels this run has (the suite only where it is installed).
    void SetChannelExists(UpdateChannel channel, bool exists);
    bool ChannelExists(UpdateChannel channel) const;
    // Ready updaters start unmarked.
    void ResetChannels();

    // The worker's and the callbacks' view of the flags.
    void MarkFailed(UpdateChannel channel);
    bool IsFailed(UpdateChannel channel) const;
    bool AnyExistingFailed() const;
    bool AllExistingFailed() const;

    // The window's first state: status, button "Close", Next.
    void Open();
    // Before the check (DoUpdate's first step). The check runs off the
    // window's thread; its outcome comes to OnChecked.
    void BeginCheck();
    // The same before the automatic-apply run's check (DoSilentUpdate).
    void BeginSilentCheck();
    // The checks of the existing channels, in channel order (DoUpdate).
    // Ignored once the check was given up (Cancel, Close, the time limit).
    void OnChecked(const std::vector<ChannelCheck>& checks);
    // The same for the automatic-apply run (DoSilentUpdate).
    void OnSilentChecked(const std::vector<ChannelCheck>& checks);
    // The run's time limit (kRunTimeLimitMs) has passed: what runs is given
    // up as a failed update, and a run that asks nothing ends.
    void OnTimeLimit();
    // The callbacks' progress on the window's thread.
    void OnUpdateBegin(UpdateChannel channel, std::int64_t total_bytes);
    void OnFileProgress(const std::string& file);
    void OnFileFinished(UpdateChannel channel, std::int64_t size);
    void OnUpdateProgress();
    // The worker has ended: show the outcome, apply or not, maybe close.
    void OnWorkerEnded();
    // Button 1008.
    void OnButton();
    // Esc, the close box, WM_CLOSE.
    void OnCloseRequest();
    // Next: hides Next (the window initialises the updaters first).
    void OnNext();

    bool check_done() const { return check_done_; }
    // The check was done and no download failed or was cancelled: what moves
    // "lastupdate". A failed update leaves it, so the next daily start tries
    // again.
    bool completed() const { return check_done_ && !update_failed_; }
    bool apply_decided() const { return apply_decision_; }
    bool worker_running() const { return worker_running_; }
    bool checking() const { return checking_; }
    DownloadButton button() const { return button_; }

  private:
    void SetButton(DownloadButton button);
    void CancelChannels();
    void AbandonCheck();
    void Finish();

    DownloadView& view_;
    DownloadRunKind kind_;
    bool no_question_;
    bool restricted_;
    std::array<bool, kUpdateChannelCount> exists_{true, true, false};
    std::array<std::atomic<bool>, kUpdateChannelCount> failed_{};
    bool check_done_ = false;
    bool update_failed_ = false;
    bool apply_decision_ = false;
    bool worker_running_ = false;
    bool checking_ = false;
    bool check_abandoned_ = false;
    bool close_pending_ = false;
    bool ended_ = false;
    DownloadButton button_ = DownloadButton::kClose;
    std::array<std::int64_t, kUpdateChannelCount> total_bytes_{};
    std::array<std::int64_t, kUpdateChannelCount> received_bytes_{};
};

}  // namespace olvex
