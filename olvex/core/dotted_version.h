// Four-part dotted version numbers ("5.6.7.4") as the engine's version key
// holds them.
#pragma once

#include <array>
#include <string_view>

namespace olvex {

using DottedVersion = std::array<int, 4>;

// Reads up to four decimal numbers separated by dots, as "%d.%d.%d.%d" does:
// reading stops at the first part that is not a number, and parts that the
// text does not give are 0 ("5.6" is 5.6.0.0, "abc" 0.0.0.0). Parts too large
// for an int are clamped.
DottedVersion ParseDottedVersion(std::string_view text);

}  // namespace olvex
