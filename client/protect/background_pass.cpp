#include "client/protect/background_pass.h"

#include <array>
#include <string>

namespace olvex::protect {

std::uint32_t RestAfterPass(std::uint32_t elapsed_ms) {
    return elapsed_ms < kPassSpacingMs ? kPassSpacingMs - elapsed_ms : kPassSpacingMs;
}

bool ForegroundCheckThrottle::ShouldLook(std::uint32_t now_ms) {
    // Unsigned: a tick count that wrapped still gives the right difference.
    if (static_cast<std::uint32_t>(now_ms - last_look_ms_) <= kForegroundCheckMs)
        return false;
    last_look_ms_ = now_ms;
    return true;
}

std::optional<std::uint32_t> ExterminatorRetryWaitMs(double seconds_since_first_try) {
    if (seconds_since_first_try <= 60.0)
        return 250;
    if (seconds_since_first_try <= 180.0)
        return 500;
    if (seconds_since_first_try <= 600.0)
        return 1000;
    return std::nullopt;
}

CleanLogMove MoveCleanLog(std::istream& clean_log,
                          const std::function<bool(std::string_view)>& append) {
    std::string text;
    std::array<char, kCleanLogBlockBytes> block{};
    while (clean_log.read(block.data(), block.size()) || clean_log.gcount() > 0)
        text.append(block.data(), static_cast<std::size_t>(clean_log.gcount()));
    if (clean_log.bad())
        return CleanLogMove::kReadFailed;
    if (text.empty())
        return CleanLogMove::kNothing;
    if (text.back() != '\n')
        text += "\r\n";  // the next line must not run on from its last one
    return append(text) ? CleanLogMove::kCopied : CleanLogMove::kAppendFailed;
}

}  // namespace olvex::protect
