// The shipped program's clock: the system's time, unscaled.
#include "client/protect/protection_clock.h"

namespace olvex::protect {

const ProtectionClock& ProgramClock() {
    static const ScaledClock clock{TimeScale{}};
    return clock;
}

}  // namespace olvex::protect
