// The protection program's clock: what its timer, its waits and its "now"
// run on. The shipped program uses the system's; the test build runs it
// faster by the factor its environment names (time_scale.h). Which one a
// program gets is decided by the file it is linked with
// (shipped_clock.cpp or test_build_clock.cpp), so the shipped program
// carries no trace of the test build's settings.
#pragma once

#include <windows.h>

#include <cstdint>
#include <ctime>

#include "client/protect/time_scale.h"

namespace olvex::protect {

class ProtectionClock {
  public:
    virtual ~ProtectionClock() = default;
    // Seconds since 1970.
    virtual std::int64_t Now() const = 0;
    // Sleeps for what the program means by milliseconds.
    virtual void Sleep(DWORD milliseconds) const = 0;
    // A wait of milliseconds as this clock counts them (for timers).
    virtual DWORD Scaled(DWORD milliseconds) const = 0;
    // The tick counter's first value.
    virtual std::uint32_t FirstTick() const = 0;
};

// The system's clock, or one running factor times as fast from its making.
class ScaledClock final : public ProtectionClock {
  public:
    explicit ScaledClock(const TimeScale& scale);
    std::int64_t Now() const override;
    void Sleep(DWORD milliseconds) const override;
    DWORD Scaled(DWORD milliseconds) const override;
    std::uint32_t FirstTick() const override { return scale_.first_tick; }

  private:
    TimeScale scale_;
    mutable ScaledTime now_;
};

// The program's clock (one per program, made on first use).
const ProtectionClock& ProgramClock();

}  // namespace olvex::protect
