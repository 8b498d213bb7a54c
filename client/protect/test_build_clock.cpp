// The test build's clock (test targets only): the time scale and the first
// tick value come from the environment.
#include <cstdlib>
#include <optional>
#include <string_view>

#include "client/protect/protection_clock.h"

namespace olvex::protect {
namespace {

std::optional<std::string_view> Variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::optional<std::string_view>(value) : std::nullopt;
}

}  // namespace

const ProtectionClock& ProgramClock() {
    static const ScaledClock clock{
        ParseTimeScale(Variable(kTimeScaleVariable), Variable(kFirstTickVariable))};
    return clock;
}

}  // namespace olvex::protect
