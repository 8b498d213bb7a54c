#include "client/protect/protection_clock.h"

namespace olvex::protect {

ScaledClock::ScaledClock(const TimeScale& scale)
    : scale_(scale), start_seconds_(std::time(nullptr)), start_ticks_(GetTickCount()) {}

std::int64_t ScaledClock::Now() const {
    return ScaledNow(start_seconds_, static_cast<DWORD>(GetTickCount() - start_ticks_),
                     scale_.factor);
}

void ScaledClock::Sleep(DWORD milliseconds) const {
    ::Sleep(Scaled(milliseconds));
}

DWORD ScaledClock::Scaled(DWORD milliseconds) const {
    return ScaledWait(milliseconds, scale_.factor);
}

}  // namespace olvex::protect
