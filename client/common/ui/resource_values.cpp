#include "client/common/ui/resource_values.h"

#include <cstdlib>

namespace olvex::ui {
namespace {

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// A plain decimal number of at most max; nullopt for anything else.
std::optional<int> Decimal(std::string_view text, int max) {
    text = Trimmed(text);
    if (text.empty() || text.size() > 5)
        return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > max)
        return std::nullopt;
    return value;
}

}  // namespace

std::optional<Rgb> ParseRgb(std::string_view text) {
    int parts[3] = {};
    for (int i = 0; i < 3; ++i) {
        const std::size_t comma = text.find(',');
        const bool last = i == 2;
        if (last != (comma == std::string_view::npos))
            return std::nullopt;
        const auto part = Decimal(text.substr(0, comma), 255);
        if (!part)
            return std::nullopt;
        parts[i] = *part;
        text = last ? std::string_view{} : text.substr(comma + 1);
    }
    return Rgb{static_cast<std::uint8_t>(parts[0]), static_cast<std::uint8_t>(parts[1]),
               static_cast<std::uint8_t>(parts[2])};
}

std::optional<int> ParsePointSize(std::string_view text) {
    const auto points = Decimal(text, 1638);
    if (!points || *points == 0)
        return std::nullopt;
    return points;
}

int FontHeightForTenthsOfPoint(int tenths, int pixels_per_inch) {
    // 720 tenths of a point make an inch; round half away from zero, as the
    // system's MulDiv does.
    const long long scaled = static_cast<long long>(tenths) * pixels_per_inch;
    const long long rounded = (scaled + (scaled >= 0 ? 360 : -360)) / 720;
    return -static_cast<int>(rounded);
}

std::wstring FillInTexts(std::wstring format, const std::vector<std::wstring>& texts) {
    std::size_t from = 0;
    for (const std::wstring& text : texts) {
        const std::size_t at = format.find(L"%s", from);
        if (at == std::wstring::npos)
            break;
        format.replace(at, 2, text);
        from = at + text.size();
    }
    return format;
}

}  // namespace olvex::ui
