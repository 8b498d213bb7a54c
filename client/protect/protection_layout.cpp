#include "client/protect/protection_layout.h"

#include <cstdio>

namespace olvex::protect {
namespace {

// atoi's reading, cut to 8 bits as the colour's parts are.
std::uint32_t ColourPart(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t'))
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    std::uint32_t number = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
        number = (number * 10 + static_cast<std::uint32_t>(text[at] - '0')) & 0xFFFFFF;
    if (negative)
        number = 0u - number;
    return number & 0xFF;
}

}  // namespace

std::uint32_t ParseColour(std::string_view text) {
    const std::size_t first = text.find(',');
    const std::string_view red = text.substr(0, first);
    std::string_view green;
    std::string_view blue;
    if (first != std::string_view::npos) {
        const std::string_view rest = text.substr(first + 1);
        const std::size_t second = rest.find(',');
        green = rest.substr(0, second);
        if (second != std::string_view::npos)
            blue = rest.substr(second + 1);
    }
    return ColourPart(red) | ColourPart(green) << 8 | ColourPart(blue) << 16;
}

ScreenRect PlacedAtCorner(const ScreenRect& window, const ScreenRect& desktop) {
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    return {desktop.right - width, desktop.bottom - height, desktop.right, desktop.bottom};
}

int StatusStringId(const ActiveProtectionSettings& settings) {
    return settings.memory == 0 && settings.cookies == 0 ? kNotProtectingStringId
                                                         : kProtectingStringId;
}

std::vector<TrayMenuItem> TrayMenuItems(bool restricted) {
    return {
        {kOpenMainProgramCommand, 127, false},
        {0, 0, false},
        {kHomePageCommand, 130, false},
        {0, 0, false},
        {kConfigureCommand, 128, false},
        {kConfigureProxyCommand, 162, restricted},
        {kStopCommand, 129, false},
    };
}

TrayRequest TrayRequestOf(std::uint64_t wparam, std::int64_t lparam) {
    const auto mouse = static_cast<std::uint32_t>(lparam);
    if (mouse == kRightButtonDown)
        return TrayRequest::kShowMenu;
    if (mouse == kLeftDoubleClick && static_cast<std::uint32_t>(wparam) == kTrayIconId)
        return TrayRequest::kShowSettings;
    return TrayRequest::kNone;
}

bool IsHideRequest(std::uint64_t wparam) {
    return static_cast<std::uint32_t>(wparam) == 0xFFFFFFFFu;
}

std::string FormatMachineId(std::uint32_t data1, std::uint16_t data2, std::uint16_t data3,
                            const std::array<std::uint8_t, 8>& data4) {
    char text[33] = {};
    std::snprintf(text, sizeof(text), "%08x%04x%04x%02x%02x%02x%02x%02x%02x%02x%02x",
                  static_cast<unsigned>(data1), static_cast<unsigned>(data2),
                  static_cast<unsigned>(data3), data4[0], data4[1], data4[2], data4[3], data4[4],
                  data4[5], data4[6], data4[7]);
    return text;
}

}  // namespace olvex::protect
