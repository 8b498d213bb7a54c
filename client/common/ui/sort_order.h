// Comparisons behind the sortable lists, free of the window system.
#pragma once

#include <cstdint>

namespace olvex::ui {

// -1, 0 or 1 by the sign of a comparison result.
inline int SignOf(long long value) {
    return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

// Two FILETIMEs as 64-bit numbers, the high half signed and the low half
// unsigned (times before 1601 written by old versions sort first): -1 when a
// is earlier, 1 when later, 0 when equal.
inline int CompareFileTimes(std::uint64_t a, std::uint64_t b) {
    const auto high_a = static_cast<std::int32_t>(a >> 32);
    const auto high_b = static_cast<std::int32_t>(b >> 32);
    if (high_a != high_b)
        return high_a < high_b ? -1 : 1;
    const auto low_a = static_cast<std::uint32_t>(a);
    const auto low_b = static_cast<std::uint32_t>(b);
    return low_a == low_b ? 0 : (low_a < low_b ? -1 : 1);
}

}  // namespace olvex::ui
