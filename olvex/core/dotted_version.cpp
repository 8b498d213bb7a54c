#include "olvex/core/dotted_version.h"

#include <algorithm>
#include <limits>

namespace olvex {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// One "%d": blanks, an optional sign, at least one digit. Advances pos past
// what it read; false when there is no number.
bool ReadNumber(std::string_view text, std::size_t& pos, int& value) {
    std::size_t at = pos;
    while (at < text.size() && IsBlank(text[at])) {
        ++at;
    }
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    const std::size_t digits_start = at;
    long long magnitude = 0;
    constexpr long long kLimit = static_cast<long long>(std::numeric_limits<int>::max()) + 1;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        magnitude = std::min(magnitude * 10 + (text[at] - '0'), kLimit);
        ++at;
    }
    if (at == digits_start) {
        return false;
    }
    const long long signed_value = negative ? -magnitude : magnitude;
    value = static_cast<int>(std::clamp<long long>(signed_value, std::numeric_limits<int>::min(),
                                                   std::numeric_limits<int>::max()));
    pos = at;
    return true;
}

}  // namespace

DottedVersion ParseDottedVersion(std::string_view text) {
    DottedVersion parts{};
    std::size_t pos = 0;
    for (std::size_t index = 0; index < parts.size(); ++index) {
        if (index > 0) {
            if (pos >= text.size() || text[pos] != '.') {
                break;
            }
            ++pos;
        }
        if (!ReadNumber(text, pos, parts[index])) {
            break;
        }
    }
    return parts;
}

}  // namespace olvex
