#include "client/protect/protection_ticks.h"

namespace olvex::protect {

TickStep TickCounter::Tick() {
    TickStep step;
    if (counter_ < ticks_per_day_) {
        ++counter_;
        if (re_adds_ < kMostTrayReAdds && counter_ % 4 == 0) {
            step.re_add_icon = true;
            ++re_adds_;
        }
        return step;
    }
    // No icon re-add on the tick that begins the new day.
    counter_ = 0;
    step.daily_work = true;
    return step;
}

}  // namespace olvex::protect
