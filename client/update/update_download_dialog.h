// The updater's download window "Kelvan Gorsewatch -- Check for Updates"
// (decisions: download_flow.h). One engine updater per channel checks on a
// thread of its own, which the window never waits for, so that Close always
// works; a worker thread downloads, and the engine's callbacks on that thread
// pass their values to the window by posted messages, so that only the
// window's thread touches its controls.
#pragma once

#include <windows.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "client/common/ui/dialog.h"
#include "client/common/ui/gdi.h"
#include "client/update/download_flow.h"
#include "client/update/updater_options.h"
#include "olvex/com/com_ptr.h"
#include "olvex/olvex.h"

namespace olvex {

class CPelloryApp;
class CUpdateDownloadDlg;

// What a callback tells the window.
struct DownloadEvent {
    enum class Kind {
        kUpdateBegin,
        kDownloadStarting,
        kDownloadProgress,
        kDownloadFinished,
        kUpdateProgress
    };
    Kind kind = Kind::kUpdateBegin;
    UpdateChannel channel = UpdateChannel::kCore;
    std::string file;
    std::int64_t value = 0;
};

// One channel's IUpdaterCallback. It lives as long as the window; counting
// references never deletes it.
class UpdaterCallback final : public IUpdaterCallback {
  public:
    UpdaterCallback(CUpdateDownloadDlg& dialog, UpdateChannel channel)
        : dialog_(dialog), channel_(channel) {}

    // Without a window (automatic apply) nothing is posted.
    void SetReportsToWindow(bool reports) { reports_ = reports; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE UpdateBegin(long files, long bytes) override;
    HRESULT STDMETHODCALLTYPE DownloadStarting(BSTR file, long size) override;
    HRESULT STDMETHODCALLTYPE DownloadProgress(BSTR file, long received, long size,
                                               VARIANT_BOOL* go_on) override;
    HRESULT STDMETHODCALLTYPE DownloadFinished(BSTR file, long size) override;
    HRESULT STDMETHODCALLTYPE UpdateComplete(long files, long bytes) override;
    HRESULT STDMETHODCALLTYPE UpdateProgress(long files, long total_files, long bytes,
                                             long total_bytes, VARIANT_BOOL* go_on) override;
    HRESULT STDMETHODCALLTYPE UpdateError(long code, BSTR file, BSTR message,
                                          VARIANT_BOOL* go_on) override;

  private:
    void Post(DownloadEvent::Kind kind, std::string file, std::int64_t value);

    CUpdateDownloadDlg& dialog_;
    UpdateChannel channel_;
    bool reports_ = true;
    LONG references_ = 0;
};

// What a check thread shares with the window that started it: the window
// may be gone before the check ends.
struct ChannelCheckState {
    std::atomic<HWND> window{nullptr};
    std::mutex mutex;
    std::vector<ChannelCheck> checks;
};

class CUpdateDownloadDlg : public ui::Dialog, private DownloadView {
  public:
    CUpdateDownloadDlg(CPelloryApp& app, DownloadRunKind kind, bool no_question);
    ~CUpdateDownloadDlg() override;

    // The window's result for its callers: the check was done and nothing
    // failed (download_flow.h).
    bool completed() const { return flow_.completed(); }
    bool apply_decided() const { return flow_.apply_decided(); }

    // For the callbacks (worker thread).
    DownloadFlow& flow() { return flow_; }
    CPelloryApp& app() { return app_; }
    void PostEvent(DownloadEvent event);

  protected:
    bool OnInitDialog() override;
    void OnCancel() override;
    void OnDestroy() override;
    void OnSize(UINT kind, int width, int height) override;
    void OnTimer(UINT_PTR timer_id) override;

  private:
    // DownloadView
    void ShowStatus(DownloadStatus status, const std::string& file) override;
    void ShowButton(DownloadButton button) override;
    void ShowNext(bool shown) override;
    void ShowProgress(bool shown) override;
    void StartWorker() override;
    bool ConfirmApply(bool ask) override;
    void StartUpdateUtility() override;
    void End() override;

    void StartRun();
    void OnNext();
    // A failure is shown in a box when someone waits for the answer (Next
    // was pressed), else (a run that started by itself) logged.
    bool InitUpdaters(bool someone_waits);
    void ReleaseUpdaters();
    // Starts the check of the existing channels; its outcome comes as a
    // posted message.
    void StartCheck();
    void OnChecksDone();
    void StartRunClock();
    void DoUpdate();
    void DoSilentUpdate();
    void UpdateThread();
    void DrainEvents();
    void OnWorkerEnded();
    ChannelUrls GetChannelUrls() const;

    CPelloryApp& app_;
    DownloadFlow flow_;
    std::array<std::string, kUpdateChannelCount> app_folders_;
    std::array<std::string, kUpdateChannelCount> temp_folders_;
    std::array<com::ComPtr<IUpdater>, kUpdateChannelCount> updaters_;
    std::array<std::unique_ptr<UpdaterCallback>, kUpdateChannelCount> callbacks_;
    std::thread worker_;
    std::shared_ptr<ChannelCheckState> check_;
    bool run_clock_started_ = false;
    std::mutex events_mutex_;
    std::deque<DownloadEvent> events_;
    win::UniqueFont title_font_;
    std::atomic<HWND> window_{nullptr};
};

}  // namespace olvex
