// The retry rule of the main program's start-up: engine objects are created
// and initialised a fixed number of times, with a short sleep after every
// failed try, the last one included.
#pragma once

namespace olvex {

// Pages of the main window by number: 1 home, 2 scan, 3 configuration.
inline constexpr int kHomePage = 1;
inline constexpr int kScanPage = 2;
inline constexpr int kConfigurationPage = 3;
inline constexpr bool IsPageNumber(int page) {
    return page >= kHomePage && page <= kConfigurationPage;
}

// Sleep after each failed try of a creation or initialisation.
inline constexpr unsigned kEngineRetrySleepMs = 200;

// Calls attempt(flag) at most tries times until the flag comes back set.
// The flag is cleared before every call, so a call that fails without
// touching it never counts as a success; after every failed try sleep(ms)
// runs. Whether a try succeeded.
template <typename Flag, typename Attempt, typename Sleep>
bool TryRepeatedly(int tries, unsigned sleep_ms, Attempt&& attempt, Sleep&& sleep) {
    for (int n = 0; n < tries; ++n) {
        Flag flag{};
        attempt(flag);
        if (flag != Flag{})
            return true;
        sleep(sleep_ms);
    }
    return false;
}

}  // namespace olvex
