#include "dlgframe/frame_style.h"

#include <climits>
#include <cstdint>

namespace olvex::dlgframe {

int ParseDecimal(std::wstring_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || (text[i] >= L'\t' && text[i] <= L'\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) {
        negative = text[i] == L'-';
        ++i;
    }
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = value * 10 + (text[i] - L'0');
        if (value > std::int64_t{INT_MAX} + 1)
            value = std::int64_t{INT_MAX} + 1;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

int ParseStyle(std::optional<std::wstring_view> text) {
    if (!text)
        return 0;
    const int style = ParseDecimal(*text);
    return style >= 0 && style <= 3 ? style : 0;
}

std::uint32_t AddStyleBit(std::uint32_t flags, int style) {
    if ((flags & (kHostBannerLeft | kHostBannerRight)) != 0)
        return flags;
    switch (style) {
        case 0:
            return flags | kHostBannerLeft;
        case 1:
            return flags | kHostBannerRight;
        case 2:
            return flags | kHostBannerBoth;
        default:
            return flags;
    }
}

BannerChoice ChooseBanner(std::uint32_t flags) {
    BannerChoice choice;
    if ((flags & kHostSmallBanner) != 0) {
        choice.size = BannerSize::kSmall;
        choice.left_bitmap = kSmallBannerLeft;
        choice.right_bitmap = kSmallBannerRight;
    } else if ((flags & kHostLargeBanner) != 0) {
        choice.size = BannerSize::kLarge;
        choice.left_bitmap = kLargeBannerLeft;
        choice.right_bitmap = kLargeBannerRight;
    } else {
        return choice;
    }
    choice.both = (flags & kHostBannerBoth) != 0;
    choice.right = !choice.both && (flags & kHostBannerRight) != 0;
    return choice;
}

}  // namespace olvex::dlgframe
