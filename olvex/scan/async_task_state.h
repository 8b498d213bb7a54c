// The state a worker thread shares with its thread control: the pause and
// stop requests. Internal to the launcher and the thread control.
#pragma once

#include <condition_variable>
#include <mutex>

namespace olvex {

struct AsyncTaskState {
    std::mutex mutex;
    std::condition_variable changed;
    bool paused = false;
    bool stopped = false;

    void Pause() {
        std::lock_guard lock(mutex);
        paused = true;
    }
    void Resume() {
        {
            std::lock_guard lock(mutex);
            paused = false;
        }
        changed.notify_all();
    }
    void Stop() {
        {
            std::lock_guard lock(mutex);
            stopped = true;
        }
        changed.notify_all();
    }
    bool StopRequested() {
        std::lock_guard lock(mutex);
        return stopped;
    }
    // Waits while paused and not stopped; true to go on.
    bool Checkpoint() {
        std::unique_lock lock(mutex);
        changed.wait(lock, [this] { return !paused || stopped; });
        return !stopped;
    }
};

}  // namespace olvex
