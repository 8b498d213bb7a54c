// How the system utilities report: information-level messages of their own
// (a bad argument, a failed call, a failed lookup) with the function's name
// or the details as the message's argument.
#pragma once

#include <cstdint>
#include <string_view>

namespace olvex::setup::util {

void ReportUtilityMessage(uint32_t id, std::u16string_view argument, uint32_t code = 0);

}  // namespace olvex::setup::util
