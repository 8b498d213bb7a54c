// The clock behind intervals measured in whole seconds (how often the
// excluder looks at its file again). It comes through a replaceable source so
// that tests can step time instead of sleeping.
#pragma once

#include <cstdint>

namespace olvex {

class SecondsClock {
  public:
    virtual ~SecondsClock() = default;
    // Seconds since an arbitrary start; never goes backwards.
    virtual std::int64_t Now() const = 0;
};

// The machine's monotonic clock: a change of the wall clock (the user, a time
// server, daylight saving) does not stretch or skip an interval.
const SecondsClock& SteadySecondsClock();

// The clock the engine asks: the steady one unless a test replaced it.
const SecondsClock& CurrentSecondsClock();

// Replaces the clock for its lifetime (tests only; not thread-safe against
// code that is running at the same time).
class ScopedSecondsClock {
  public:
    explicit ScopedSecondsClock(const SecondsClock& clock);
    ~ScopedSecondsClock();
    ScopedSecondsClock(const ScopedSecondsClock&) = delete;
    ScopedSecondsClock& operator=(const ScopedSecondsClock&) = delete;

  private:
    const SecondsClock* previous_;
};

}  // namespace olvex
