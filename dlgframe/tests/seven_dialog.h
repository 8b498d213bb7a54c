// frametest.exe's dialog with every control class, shown through the
// framework with the caller's module: its procedure sets the controls' flags,
// images and link targets and records the commands it receives.
#pragma once

#include <windows.h>

#include <mutex>
#include <utility>
#include <vector>

namespace olvex::frametest {

inline constexpr wchar_t kSevenTitle[] = L"Framework controls";
inline constexpr wchar_t kLinkTarget[] = L"http://frame.example.test/welcome";

// WM_COMMAND ids and notification codes the dialog received, in order.
class CommandLog {
  public:
    void Add(int id, int code) {
        std::lock_guard<std::mutex> lock(mutex_);
        entries_.emplace_back(id, code);
    }
    std::vector<std::pair<int, int>> Take() {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::exchange(entries_, {});
    }
    // How many commands came from the control.
    int CountFor(int id) {
        std::lock_guard<std::mutex> lock(mutex_);
        int count = 0;
        for (const auto& entry : entries_)
            count += entry.first == id ? 1 : 0;
        return count;
    }
    void Clear() { Take(); }

  private:
    std::mutex mutex_;
    std::vector<std::pair<int, int>> entries_;
};

CommandLog& SevenCommands();

// Shows the dialog modally with the host flags; the result EndDialog gave.
INT_PTR ShowSevenDialog(UINT host_flags);

}  // namespace olvex::frametest
