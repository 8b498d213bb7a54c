// The rules of the background scan's passes that need no window: how long
// the worker rests between passes, how often its scanner callback looks for
// a foreground scan, how long it waits between tries at readying the
// exterminator, and how the scripted remover's clean log moves into the
// activity log.
#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <optional>
#include <string_view>

namespace olvex::protect {

// Passes start at least this far apart.
inline constexpr std::uint32_t kPassSpacingMs = 10000;

// The rest after a pass that took elapsed_ms: up to 10 s after its start, or
// a full 10 s when it took that long or longer.
std::uint32_t RestAfterPass(std::uint32_t elapsed_ms);

// Looking for a foreground scan means opening a named mutex: done at most
// once in kForegroundCheckMs, whatever the rate of the scanner's questions.
inline constexpr std::uint32_t kForegroundCheckMs = 250;

class ForegroundCheckThrottle {
  public:
    // Whether to look now, at tick count now_ms (milliseconds that wrap):
    // more than kForegroundCheckMs since the last look. A look is then
    // counted as made.
    bool ShouldLook(std::uint32_t now_ms);

  private:
    std::uint32_t last_look_ms_ = 0;
};

// The wait before the next try at readying the exterminator, by the seconds
// since the first try: 250 ms in the first minute, 500 ms up to three
// minutes, 1 s up to ten; nullopt after ten minutes (give up).
std::optional<std::uint32_t> ExterminatorRetryWaitMs(double seconds_since_first_try);

// The clean log is read in blocks of this size.
inline constexpr std::size_t kCleanLogBlockBytes = 1024;

enum class CleanLogMove {
    kNothing,       // empty: left in place
    kCopied,        // appended whole: delete it
    kReadFailed,    // left in place
    kAppendFailed,  // left in place, the log unchanged
};

// Reads the clean log in blocks and appends all of it to the activity log in
// one append (so that no other program's line lands inside it), ended by a
// line break when its last line has none.
CleanLogMove MoveCleanLog(std::istream& clean_log,
                          const std::function<bool(std::string_view)>& append);

}  // namespace olvex::protect
