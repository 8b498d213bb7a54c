// Two helper threads of setup: the progress window, which shows a bar and a
// status line while an install or uninstall runs (on a thread of its own,
// so that it stays responsive while the worker waits for installers), and
// the dialog watcher, which presses Yes on the questions the firewall's own
// installer asks even when started silently.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace olvex::setup {

// A thread an object runs once at a time. The owner keeps the handle and
// joins the thread; the thread never closes it.
class WorkerThread {
  public:
    WorkerThread() = default;
    virtual ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Starts Run on a new thread unless one is held; false when none could
    // be started.
    bool Launch();
    // Waits up to timeout_ms (INFINITE: without limit) for the thread to
    // end; the handle is closed once it ended. Whether it ended.
    bool Join(DWORD timeout_ms);
    bool launched() const { return thread_ != nullptr; }

  protected:
    virtual void Run() = 0;

  private:
    static unsigned __stdcall Entry(void* self);
    HANDLE thread_ = nullptr;
};

inline constexpr int kProgressBar = 1316;
inline constexpr int kProgressStatus = 1144;
inline constexpr UINT kProgressTemplate = 231;

class ProgressWindow : public WorkerThread {
  public:
    static ProgressWindow& Instance();

    // Display level above 0 only: shows the progress dialog over the owner
    // with a bar of `steps` steps, and returns once it exists (at most 5 s).
    void Start(HWND owner, int steps);
    // One step of the bar, and the status text when given.
    void Step(const std::u16string* text);
    // The bar full, the dialog closed (waited for up to 5 s).
    void Stop();

    HWND dialog() const { return dialog_.load(); }
    int steps() const { return steps_; }

    // Called by Stop with the dialog once the bar is set full, before the
    // dialog is told to close (a test build records the bar there).
    void SetStopObserver(std::function<void(HWND)> observer) { observer_ = std::move(observer); }

  protected:
    void Run() override;

  private:
    static INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

    std::atomic<HWND> dialog_{nullptr};
    HWND owner_ = nullptr;
    int steps_ = 5;
    HANDLE ready_ = nullptr;
    std::function<void(HWND)> observer_;
};

class DialogWatcherThread : public WorkerThread {
  public:
    DialogWatcherThread() = default;
    ~DialogWatcherThread() override;
    void Start();
    // Clears the running flag and waits for the thread to end.
    void Wait();

  protected:
    void Run() override;

  private:
    std::atomic<bool> running_{false};
};

}  // namespace olvex::setup
