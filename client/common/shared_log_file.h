// The activity log object of a program whose threads share it (the main
// program's user-interface thread, its log-maintenance thread and its scan
// worker): a CLogFile behind an in-process lock. The named log mutex keeps
// other programs out of the file; this lock keeps this program's threads
// out of the object.
//
//     log.With([&](CLogFile& file) { file.AddEntry(...); });
#pragma once

#include <mutex>
#include <utility>

#include "client/common/activity_log_file.h"

namespace olvex {

class SharedLogFile {
  public:
    // Runs action with the log object while holding the lock; what it gives.
    template <typename Action>
    decltype(auto) With(Action&& action) {
        const std::lock_guard<std::mutex> lock(mutex_);
        return std::forward<Action>(action)(file_);
    }

  private:
    std::mutex mutex_;
    CLogFile file_;
};

}  // namespace olvex
