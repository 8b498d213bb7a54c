// The protection timer's tick counter. Every one-second tick counts up to a
// day of ticks; during the first minutes every fourth tick adds the
// notification-area icon again (a shell that came up after the program
// knows no icon yet), and the tick after the counter has reached a day of
// ticks starts the daily work (the updater and the log's upkeep) and begins
// the count again from 0. The counter starts near the end of a day, so the
// first daily start comes a few minutes after the program's.
#pragma once

#include <cstdint>

namespace olvex::protect {

// The icon is added again at most this many times.
inline constexpr int kMostTrayReAdds = 300;

struct TickStep {
    bool re_add_icon = false;
    bool daily_work = false;  // start the updater and keep the log in size
    bool operator==(const TickStep&) const = default;
};

class TickCounter {
  public:
    // first_tick: the counter's value before the first tick; ticks_per_day:
    // the value after which the daily work runs.
    TickCounter(std::uint32_t first_tick, std::uint32_t ticks_per_day)
        : counter_(first_tick), ticks_per_day_(ticks_per_day) {}

    // One timer tick. The daily work is the caller's to leave out for a user
    // without rights.
    TickStep Tick();

    std::uint32_t counter() const { return counter_; }
    int re_adds() const { return re_adds_; }

  private:
    std::uint32_t counter_;
    std::uint32_t ticks_per_day_;
    int re_adds_ = 0;
};

}  // namespace olvex::protect
