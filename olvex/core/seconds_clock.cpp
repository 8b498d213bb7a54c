#include "olvex/core/seconds_clock.h"

#include <atomic>
#include <chrono>

namespace olvex {
namespace {

class SteadyClock final : public SecondsClock {
  public:
    std::int64_t Now() const override {
        return std::chrono::duration_cast<std::chrono::seconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

std::atomic<const SecondsClock*> g_clock{nullptr};

}  // namespace

const SecondsClock& SteadySecondsClock() {
    static const SteadyClock clock;
    return clock;
}

const SecondsClock& CurrentSecondsClock() {
    const SecondsClock* replaced = g_clock.load();
    return replaced ? *replaced : SteadySecondsClock();
}

ScopedSecondsClock::ScopedSecondsClock(const SecondsClock& clock)
    : previous_(g_clock.exchange(&clock)) {}

ScopedSecondsClock::~ScopedSecondsClock() {
    g_clock.store(previous_);
}

}  // namespace olvex
