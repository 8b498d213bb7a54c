// The launcher every asynchronous engine method uses (the scanner's six
// asynchronous scans, the updater's DownloadUpdatesAsync): it runs a callable
// on a new thread that has entered a COM apartment and hands the client an
// IThreadControl for that thread.
//
// Control is cooperative. The thread control never suspends or kills the
// thread, which could leave it holding a lock or an object; it asks, and the
// worker answers at its checkpoints:
//
//     LaunchAsync(ComApartment::kMultiThreaded,
//                 [scanner = ComPtr<IScanner>::Share(this)](const AsyncToken& token) {
//                     ... before each callback event and each continue check:
//                     if (!token.Checkpoint()) return;   // stopped: send nothing more
//                 },
//                 ppThreadControl);
//
// - Pause: the worker waits at its next checkpoint until Resume or Stop.
// - Stop: the worker's next checkpoint answers false; the worker then returns
//   at once without sending any further event (no ScanAborted, ScanComplete,
//   UpdateProgress, UpdateError or UpdateComplete), releasing what it holds as
//   it unwinds. Stop waits until the thread has ended, so once Stop returns
//   no event can arrive and IsRunning is false. An event the worker had
//   already begun when Stop was called finishes before Stop returns.
//   (Called from the worker itself, in one of its callbacks, Stop only asks
//   and returns.)
#pragma once

#include <windows.h>
#include <ole2.h>

#include <functional>
#include <memory>

#include "olvex/olvex.h"

namespace olvex {

// Shared by a worker thread and its thread control.
struct AsyncTaskState;

// What a worker consults: whether its control asked it to pause or stop.
// A default token belongs to no control (a synchronous call): it never
// pauses or stops.
class AsyncToken {
  public:
    AsyncToken() = default;
    explicit AsyncToken(std::shared_ptr<AsyncTaskState> state) : state_(std::move(state)) {}

    // True once Stop was called. Does not wait.
    bool StopRequested() const;
    // Waits while the task is paused; false once Stop was called (the worker
    // then ends without sending anything more), true to go on.
    bool Checkpoint() const;

  private:
    std::shared_ptr<AsyncTaskState> state_;
};

enum class ComApartment {
    kMultiThreaded,   // the scans
    kSingleThreaded,  // DownloadUpdatesAsync
};

enum class LaunchResult {
    kStarted,    // the thread runs; *control holds its thread control
    kNoMemory,   // nothing started
    kNoThread,   // the thread could not be created; nothing started
    kNoControl,  // the thread runs to its end, but no thread control was made
};

// What a launch that did not start cleanly leaves as the last error text;
// nullptr for kStarted. `no_memory_text` is said when memory ran short.
const char* LaunchErrorText(LaunchResult result, const char* no_memory_text);
inline constexpr char kThreadCreationErrorText[] = "Error creating thread.";

using AsyncWork = std::function<void(const AsyncToken&)>;

// Runs work on a new thread that enters the apartment first and leaves it
// when work has returned. work and everything it captured are destroyed on
// that thread, before it leaves the apartment; capture counted references
// (ComPtr) to the objects the work calls, so that they outlive it. The
// thread keeps the engine module loaded until it has ended.
//
// *control is set to null first; on kStarted it holds a new thread control
// with one reference, which owns the thread's handle and closes it when
// released. When no control is made the launcher closes the handle itself.
LaunchResult LaunchAsync(ComApartment apartment, AsyncWork work, IThreadControl** control);

}  // namespace olvex
