// Numbers in the product's text files are read the way the C library's atoi
// reads them: leading white space, an optional sign, then decimal digits up to
// the first other character; no digits give 0. Unlike atoi, a value too large
// for the result saturates instead of being undefined.
#pragma once

#include <cstdint>
#include <limits>
#include <string_view>

namespace olvex {

// The leading decimal number of text, saturated to [min, max].
inline std::int64_t ParseLeadingDecimal(std::string_view text, std::int64_t min, std::int64_t max) {
    std::size_t at = 0;
    auto is_space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (at < text.size() && is_space(text[at]))
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    // Accumulate the magnitude up to a bound past any range a caller can ask
    // for, so that long digit runs cannot overflow.
    constexpr std::uint64_t kCap = std::uint64_t{1} << 62;
    std::uint64_t magnitude = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        if (magnitude < kCap)
            magnitude = magnitude * 10 + static_cast<std::uint64_t>(text[at] - '0');
    }
    const std::int64_t value = magnitude >= kCap
                                   ? (negative ? std::numeric_limits<std::int64_t>::min()
                                               : std::numeric_limits<std::int64_t>::max())
                                   : (negative ? -static_cast<std::int64_t>(magnitude)
                                               : static_cast<std::int64_t>(magnitude));
    return value < min ? min : (value > max ? max : value);
}

// atoi/atol of a 32-bit signed field, saturated.
inline std::int32_t ParseLeadingInt32(std::string_view text) {
    return static_cast<std::int32_t>(ParseLeadingDecimal(
        text, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// A 32-bit field written either signed or unsigned (check values are CRCs
// printed as signed numbers): any value from -2^31 to 2^32-1 gives its low 32
// bits; values past that range saturate to its ends first.
inline std::uint32_t ParseLeadingWord32(std::string_view text) {
    return static_cast<std::uint32_t>(ParseLeadingDecimal(
        text, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::uint32_t>::max()));
}

// A byte count: negative numbers give 0, larger ones saturate at 2^32-1.
inline std::uint32_t ParseLeadingCount32(std::string_view text) {
    return static_cast<std::uint32_t>(
        ParseLeadingDecimal(text, 0, std::numeric_limits<std::uint32_t>::max()));
}

}  // namespace olvex
