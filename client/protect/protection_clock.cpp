#include "client/protect/protection_clock.h"

namespace olvex::protect {

ScaledClock::ScaledClock(const TimeScale& scale)
    : scale_(scale),
      now_(
          scale.factor, [] { return static_cast<std::int64_t>(std::time(nullptr)); },
          [] { return static_cast<std::uint32_t>(GetTickCount()); }) {}

std::int64_t ScaledClock::Now() const {
    return now_.Now();
}

void ScaledClock::Sleep(DWORD milliseconds) const {
    ::Sleep(Scaled(milliseconds));
}

DWORD ScaledClock::Scaled(DWORD milliseconds) const {
    return ScaledWait(milliseconds, scale_.factor);
}

}  // namespace olvex::protect
