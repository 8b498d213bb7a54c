// The test build's clock. The shipped program runs on the system's time;
// the test build of Wakenor (built for tests only) takes from its
// environment a factor by which its clock runs fast (its timer fires that
// much more often, its waits are that much shorter, its "now" moves that much
// faster) and the tick counter's first value, so that tests see day-long
// behaviour in seconds. Reading the two values is portable and checked here.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string_view>

namespace olvex::protect {

// The environment variables the test build reads.
inline constexpr char kTimeScaleVariable[] = "OLVEX_WAKENOR_TIME_SCALE";
inline constexpr char kFirstTickVariable[] = "OLVEX_WAKENOR_FIRST_TICK";

// The tick counter's first value: the updater first starts 401 ticks later.
inline constexpr std::uint32_t kFirstTick = 86000;
inline constexpr std::uint32_t kTicksPerDay = 86400;
inline constexpr std::uint32_t kMostTimeScale = 100000;

struct TimeScale {
    std::uint32_t factor = 1;
    std::uint32_t first_tick = kFirstTick;
    bool operator==(const TimeScale&) const = default;
};

// A factor of 1 to kMostTimeScale and a first tick of 0 to kTicksPerDay,
// each all digits; anything else (missing, empty, zero factor, junk) keeps
// the shipped value.
TimeScale ParseTimeScale(std::optional<std::string_view> factor,
                         std::optional<std::string_view> first_tick);

// A wait of milliseconds on the scaled clock: factor times shorter, never
// shorter than 1 ms unless it was 0.
std::uint32_t ScaledWait(std::uint32_t milliseconds, std::uint32_t factor);

// The scaled clock's seconds since 1970: the start plus the elapsed real
// milliseconds times the factor.
std::int64_t ScaledNow(std::int64_t start_seconds, std::uint64_t elapsed_milliseconds,
                       std::uint32_t factor);

// The protection program's "now", seconds since 1970. At factor 1 (the
// shipped program) it is the wall clock itself, so that a change of the
// system's clock is seen at once and nothing depends on the tick counter,
// which wraps after 49.7 days. Faster (the test build) it is the wall clock
// at the start plus the scaled milliseconds the tick counter has counted
// since, summed across its wraps: it never runs backwards as long as it is
// read at least once per wrap (the program's timer reads it every second).
class ScaledTime {
  public:
    using WallClock = std::function<std::int64_t()>;
    using TickCounter = std::function<std::uint32_t()>;  // milliseconds, wrapping

    ScaledTime(std::uint32_t factor, WallClock wall_clock, TickCounter ticks);
    // Safe from any thread.
    std::int64_t Now();

  private:
    std::uint32_t factor_;
    WallClock wall_clock_;
    TickCounter ticks_;
    std::int64_t start_seconds_ = 0;
    std::uint32_t last_tick_ = 0;
    std::uint64_t elapsed_milliseconds_ = 0;
    std::mutex mutex_;
};

}  // namespace olvex::protect
