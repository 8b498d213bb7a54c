#include "client/protect/time_scale.h"

#include <utility>

namespace olvex::protect {
namespace {

std::optional<std::uint32_t> Digits(std::optional<std::string_view> text, std::uint32_t most) {
    if (!text || text->empty() || text->size() > 9)
        return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : *text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (value > most)
        return std::nullopt;
    return value;
}

}  // namespace

TimeScale ParseTimeScale(std::optional<std::string_view> factor,
                         std::optional<std::string_view> first_tick) {
    TimeScale scale;
    if (const auto value = Digits(factor, kMostTimeScale); value && *value > 0)
        scale.factor = *value;
    if (const auto value = Digits(first_tick, kTicksPerDay))
        scale.first_tick = *value;
    return scale;
}

std::uint32_t ScaledWait(std::uint32_t milliseconds, std::uint32_t factor) {
    if (factor <= 1 || milliseconds == 0)
        return milliseconds;
    const std::uint32_t scaled = milliseconds / factor;
    return scaled == 0 ? 1 : scaled;
}

std::int64_t ScaledNow(std::int64_t start_seconds, std::uint64_t elapsed_milliseconds,
                       std::uint32_t factor) {
    const std::uint64_t scaled_ms = elapsed_milliseconds * (factor == 0 ? 1 : factor);
    return start_seconds + static_cast<std::int64_t>(scaled_ms / 1000);
}

ScaledTime::ScaledTime(std::uint32_t factor, WallClock wall_clock, TickCounter ticks)
    : factor_(factor == 0 ? 1 : factor),
      wall_clock_(std::move(wall_clock)),
      ticks_(std::move(ticks)) {
    if (factor_ > 1) {
        start_seconds_ = wall_clock_();
        last_tick_ = ticks_();
    }
}

std::int64_t ScaledTime::Now() {
    if (factor_ <= 1)
        return wall_clock_();
    const std::lock_guard lock(mutex_);
    const std::uint32_t tick = ticks_();
    // Unsigned difference: right across a wrap of the counter.
    elapsed_milliseconds_ += static_cast<std::uint32_t>(tick - last_tick_);
    last_tick_ = tick;
    return ScaledNow(start_seconds_, elapsed_milliseconds_, factor_);
}

}  // namespace olvex::protect
