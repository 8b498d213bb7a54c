#include "client/update/download_flow.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace olvex {
namespace {

// Records what the flow asks of its window.
class FakeView : public DownloadView {
  public:
    void ShowStatus(DownloadStatus s, const std::string& file) override {
        status = s;
        status_file = file;
    }
    void ShowButton(DownloadButton b) override { button = b; }
    void ShowNext(bool shown) override { next_shown = shown; }
    void ShowProgress(bool shown) override { progress_shown = shown; }
    void StartWorker() override { ++workers; }
    bool ConfirmApply(bool ask) override {
        asked_with.push_back(ask);
        return confirm;
    }
    void StartUpdateUtility() override { ++utility_starts; }
    void WriteUpdateHistory() override { ++history_writes; }
    void End() override { ++ends; }

    DownloadStatus status = DownloadStatus::kReady;
    std::string status_file;
    DownloadButton button = DownloadButton::kClose;
    bool next_shown = true;
    bool progress_shown = false;
    int workers = 0;
    bool confirm = true;
    std::vector<bool> asked_with;
    int utility_starts = 0;
    int history_writes = 0;
    int ends = 0;
};

const std::vector<ChannelCheck> kNothingNew = {{0, 0}, {0, 0}};
const std::vector<ChannelCheck> kUpdates = {{3, 1200}, {0, 0}};
const std::vector<ChannelCheck> kOneFailed = {{3, 1200}, {-1, 0}};

// An interactive run up to a download in progress.
void StartDownload(DownloadFlow& flow) {
    flow.Open();
    flow.OnNext();
    flow.BeginCheck();
    flow.OnChecked(kUpdates);
}

TEST(DownloadFlowTest, CheckOutcomes) {
    struct Case {
        const char* name;
        std::vector<ChannelCheck> checks;
        bool no_question;
        DownloadStatus status;
        bool check_done;
        int workers;
        int ends;
    };
    const Case cases[] = {
        {"up to date", kNothingNew, false, DownloadStatus::kUpToDate, true, 0, 0},
        {"up to date, silent", kNothingNew, true, DownloadStatus::kUpToDate, true, 0, 1},
        {"updates but no bytes", {{2, 0}, {0, 0}}, false, DownloadStatus::kUpToDate, true, 0, 0},
        {"a check failed", kOneFailed, false, DownloadStatus::kCheckFailed, false, 0, 0},
        {"a check failed, silent", kOneFailed, true, DownloadStatus::kCheckFailed, false, 0, 1},
        {"updates", kUpdates, false, DownloadStatus::kDownloading, true, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeView view;
        DownloadFlow flow(view, DownloadRunKind::kRunUpdate, c.no_question, false);
        flow.Open();
        flow.BeginCheck();
        EXPECT_EQ(view.status, DownloadStatus::kChecking);
        EXPECT_EQ(view.button, DownloadButton::kCancel);
        EXPECT_EQ(view.next_shown, !c.no_question);
        flow.OnChecked(c.checks);
        EXPECT_EQ(view.status, c.status);
        EXPECT_EQ(flow.check_done(), c.check_done);
        EXPECT_EQ(view.workers, c.workers);
        EXPECT_EQ(view.ends, c.ends);
        EXPECT_EQ(view.button, c.workers ? DownloadButton::kCancel : DownloadButton::kClose);
        EXPECT_EQ(view.progress_shown, c.workers == 1);
        EXPECT_EQ(view.utility_starts, 0);
    }
}

TEST(DownloadFlowTest, InteractiveDownloadThenApply) {
    FakeView view;
    DownloadFlow flow(view, DownloadRunKind::kCheckNow, false, false);
    flow.Open();
    EXPECT_EQ(view.button, DownloadButton::kClose);
    StartDownload(flow);
    EXPECT_FALSE(view.next_shown);
    ASSERT_TRUE(flow.worker_running());

    flow.OnUpdateBegin(UpdateChannel::kCore, 1200);
    flow.OnFileProgress("qzinfo.dat");
    EXPECT_EQ(view.status, DownloadStatus::kDownloadingFile);
    EXPECT_EQ(view.status_file, "qzinfo.dat");
    flow.OnFileFinished(UpdateChannel::kCore, 200);
    EXPECT_EQ(view.status, DownloadStatus::kDownloadingFile);
    flow.OnFileFinished(UpdateChannel::kCore, 1000);
    EXPECT_EQ(view.status, DownloadStatus::kFilesReceived);

    view.confirm = true;
    flow.OnWorkerEnded();
    EXPECT_EQ(view.asked_with, std::vector<bool>{true});
    EXPECT_EQ(view.status, DownloadStatus::kRestartNeeded);
    EXPECT_EQ(view.button, DownloadButton::kApply);
    EXPECT_FALSE(view.progress_shown);
    EXPECT_EQ(view.ends, 0);

    flow.OnButton();
    EXPECT_EQ(view.utility_starts, 1);
    EXPECT_EQ(view.history_writes, 1);
    EXPECT_EQ(view.ends, 1);
    EXPECT_TRUE(flow.completed());
    EXPECT_TRUE(flow.apply_decided());
}

TEST(DownloadFlowTest, DeclinedQuestionLeavesTheDownloadsAndReadsClose) {
    FakeView view;
    DownloadFlow flow(view, DownloadRunKind::kRunUpdate, false, false);
    StartDownload(flow);
    view.confirm = false;
    flow.OnWorkerEnded();
    EXPECT_EQ(view.status, DownloadStatus::kRestartNeeded);
    EXPECT_EQ(view.button, DownloadButton::kClose);
    flow.OnButton();
    EXPECT_EQ(view.utility_starts, 0);
    EXPECT_EQ(view.ends, 1);
    // Declined is still a completed check: the files wait for the next run.
    EXPECT_TRUE(flow.completed());
}

TEST(DownloadFlowTest, SilentRunAppliesWithoutAsking) {
    FakeView view;
    DownloadFlow flow(view, DownloadRunKind::kRunUpdate, true, false);
    ASSERT_TRUE(flow.starts_by_itself());
    ASSERT_FALSE(flow.hidden());
    flow.Open();
    flow.BeginCheck();
    flow.OnChecked(kUpdates);
    flow.OnWorkerEnded();
    EXPECT_EQ(view.asked_with, std::vector<bool>{false});
    EXPECT_EQ(view.utility_starts, 1);
    EXPECT_EQ(view.history_writes, 1);
    EXPECT_EQ(view.ends, 1);
}

TEST(DownloadFlowTest, AnErrorOnOneChannelAppliesNothing) {
    for (const bool no_question : {false, true}) {
        FakeView view;
        DownloadFlow flow(view, DownloadRunKind::kRunUpdate, no_question, false);
        flow.Open();
        flow.BeginCheck();
        flow.OnChecked(kUpdates);
        flow.MarkFailed(UpdateChannel::kProgram);
        flow.OnWorkerEnded();
        EXPECT_EQ(view.status, DownloadStatus::kCancelled);
        EXPECT_EQ(view.button, DownloadButton::kClose);
        EXPECT_TRUE(view.asked_with.empty());
        EXPECT_EQ(view.utility_starts, 0);
        EXPECT_EQ(view.ends, no_question ? 1 : 0);
        // The flags are cleared for a later run; the check stays done, but a
        // failed update is no completed one.
        EXPECT_FALSE(flow.AnyExistingFailed());
        EXPECT_TRUE(flow.check_done());
        EXPECT_FALSE(flow.completed());
    }
}

TEST(DownloadFlowTest, TheWindowStaysWhileTheWorkerRuns) {
    // Cancel stops the download and keeps the window; a close request then
    // closes it only once the worker has ended.
    FakeView view;
    DownloadFlow flow(view, DownloadRunKind::kCheckNow, false, false);
    StartDownload(flow);
    flow.OnButton();
    EXPECT_TRUE(flow.AllExistingFailed());
    EXPECT_EQ(view.button, DownloadButton::kClose);
    EXPECT_EQ(view.ends, 0);
    // A progress report already on its way offers no Cancel again.
    flow.OnFileProgress("qzfile.dat");
    flow.OnUpdateProgress();
    EXPECT_EQ(view.button, DownloadButton::kClose);
    flow.OnCloseRequest();
    flow.OnButton();
    EXPECT_EQ(view.ends, 0);
    flow.OnWorkerEnded();
    EXPECT_EQ(view.ends, 1);
    EXPECT_EQ(view.utility_starts, 0);

    // Escape during the download: cancelled, closed when the worker ends.
    FakeView escape_view;
    DownloadFlow escape(escape_view, DownloadRunKind::kCheckNow, false, false);
    StartDownload(escape);
    escape.OnCloseRequest();
    EXPECT_EQ(escape_view.ends, 0);
    EXPECT_TRUE(escape.AllExistingFailed());
    escape.OnWorkerEnded();
    EXPECT_EQ(escape_view.ends, 1);
    EXPECT_FALSE(escape.apply_decided());
    EXPECT_FALSE(escape.completed());

    // Cancel in a run without questions closes once the worker is done.
    FakeView silent_view;
    DownloadFlow silent(silent_view, DownloadRunKind::kRunUpdate, true, false);
    silent.Open();
    silent.BeginCheck();
    silent.OnChecked(kUpdates);
    silent.OnButton();
    EXPECT_EQ(silent_view.ends, 0);
    silent.OnWorkerEnded();
    EXPECT_EQ(silent_view.ends, 1);
    EXPECT_EQ(silent_view.utility_starts, 0);

    // Without a worker a close request ends at once.
    FakeView idle_view;
    DownloadFlow idle(idle_view, DownloadRunKind::kCheckNow, false, false);
    idle.Open();
    idle.OnCloseRequest();
    EXPECT_EQ(idle_view.ends, 1);
}

TEST(DownloadFlowTest, AutomaticApply) {
    struct Case {
        const char* name;
        std::vector<ChannelCheck> checks;
        bool fail_download;
        bool confirm;
        bool check_done;
        int utility_starts;
    };
    const Case cases[] = {
        {"updates", kUpdates, false, true, true, 1},
        {"declined while the main program runs", kUpdates, false, false, true, 0},
        {"nothing new", kNothingNew, false, true, true, 0},
        // A failed check is no check: the caller keeps "lastupdate".
        {"a check failed", kOneFailed, false, true, false, 0},
        {"a download failed", kUpdates, true, true, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeView view;
        view.confirm = c.confirm;
        DownloadFlow flow(view, DownloadRunKind::kAutoApply, false, false);
        EXPECT_TRUE(flow.hidden());
        EXPECT_TRUE(flow.starts_by_itself());
        flow.Open();
        flow.OnSilentChecked(c.checks);
        if (flow.worker_running()) {
            if (c.fail_download)
                flow.MarkFailed(UpdateChannel::kCore);
            flow.OnWorkerEnded();
        }
        EXPECT_EQ(flow.check_done(), c.check_done);
        EXPECT_EQ(flow.completed(), c.check_done && !c.fail_download);
        EXPECT_EQ(view.utility_starts, c.utility_starts);
        EXPECT_EQ(view.history_writes, c.utility_starts);
        EXPECT_EQ(view.ends, 1);
    }
}

// The check runs off the window's thread: Close, Cancel and the run's time
// limit never wait for it, and its late answer changes nothing.
TEST(DownloadFlowTest, ACheckThatHangsNeverHoldsTheWindow) {
    struct Case {
        const char* name;
        DownloadRunKind kind;
        bool no_question;
        void (DownloadFlow::*give_up)();
        int ends;  // at once
        DownloadStatus status;
    };
    const Case cases[] = {
        {"close box, interactive", DownloadRunKind::kCheckNow, false, &DownloadFlow::OnCloseRequest,
         1, DownloadStatus::kChecking},
        {"Cancel, interactive", DownloadRunKind::kCheckNow, false, &DownloadFlow::OnButton, 0,
         DownloadStatus::kCancelled},
        {"Cancel, silent", DownloadRunKind::kRunUpdate, true, &DownloadFlow::OnButton, 1,
         DownloadStatus::kCancelled},
        {"time limit, interactive", DownloadRunKind::kCheckNow, false, &DownloadFlow::OnTimeLimit,
         0, DownloadStatus::kCancelled},
        {"time limit, silent", DownloadRunKind::kRunUpdate, true, &DownloadFlow::OnTimeLimit, 1,
         DownloadStatus::kCancelled},
        {"time limit, automatic apply", DownloadRunKind::kAutoApply, false,
         &DownloadFlow::OnTimeLimit, 1, DownloadStatus::kCancelled},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeView view;
        DownloadFlow flow(view, c.kind, c.no_question, false);
        flow.Open();
        if (c.kind == DownloadRunKind::kAutoApply) {
            flow.BeginSilentCheck();
        } else {
            flow.OnNext();
            flow.BeginCheck();
        }
        EXPECT_TRUE(flow.checking());
        (flow.*c.give_up)();
        EXPECT_FALSE(flow.checking());
        EXPECT_EQ(view.ends, c.ends);
        EXPECT_EQ(view.status, c.status);
        if (c.ends == 0) {
            EXPECT_EQ(view.button, DownloadButton::kClose);
        }
        // The late answer: nothing starts, nothing is recorded.
        flow.OnChecked(kUpdates);
        flow.OnSilentChecked(kUpdates);
        EXPECT_EQ(view.workers, 0);
        EXPECT_FALSE(flow.check_done());
        EXPECT_FALSE(flow.completed());
        flow.OnCloseRequest();
        EXPECT_EQ(view.ends, 1);
        EXPECT_EQ(view.utility_starts, 0);
    }
}

TEST(DownloadFlowTest, TheTimeLimitStopsADownloadAsAFailure) {
    for (const bool no_question : {false, true}) {
        SCOPED_TRACE(no_question ? "silent" : "interactive");
        FakeView view;
        DownloadFlow flow(view, DownloadRunKind::kRunUpdate, no_question, false);
        StartDownload(flow);
        ASSERT_TRUE(flow.worker_running());
        flow.OnTimeLimit();
        // The engine's next progress report is answered "stop".
        EXPECT_TRUE(flow.IsFailed(UpdateChannel::kCore));
        EXPECT_TRUE(flow.IsFailed(UpdateChannel::kProgram));
        EXPECT_EQ(view.ends, 0) << "the window waits for the worker";
        flow.OnWorkerEnded();
        EXPECT_FALSE(flow.completed());
        EXPECT_EQ(view.utility_starts, 0);
        EXPECT_EQ(view.ends, no_question ? 1 : 0);
        if (!no_question) {
            EXPECT_EQ(view.status, DownloadStatus::kCancelled);
            EXPECT_EQ(view.button, DownloadButton::kClose);
        }
    }
}

TEST(DownloadFlowTest, ChannelsAndRestrictedNext) {
    FakeView view;
    DownloadFlow flow(view, DownloadRunKind::kCheckNow, false, true);
    EXPECT_FALSE(flow.ChannelExists(UpdateChannel::kSuite));
    flow.MarkFailed(UpdateChannel::kSuite);
    // A channel the machine does not have never counts.
    EXPECT_FALSE(flow.AnyExistingFailed());
    flow.MarkFailed(UpdateChannel::kCore);
    EXPECT_FALSE(flow.AllExistingFailed());
    flow.MarkFailed(UpdateChannel::kProgram);
    EXPECT_TRUE(flow.AllExistingFailed());
    flow.SetChannelExists(UpdateChannel::kSuite, true);
    flow.ResetChannels();
    EXPECT_FALSE(flow.AnyExistingFailed());

    flow.Open();
    flow.OnNext();
    EXPECT_TRUE(view.next_shown);
    EXPECT_EQ(view.button, DownloadButton::kClose);
}

}  // namespace
}  // namespace olvex
