// Small rules of the protection program's windows, free of the window
// system: colours from the string table, the alerts' place in the screen's
// corner, the status line, the tray menu and the machine id's text.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "client/common/active_protection_settings.h"

namespace olvex::protect {

// `ParseColour`: "r,g,b" as the string table keeps colours. The text before
// the first comma is red, the text up to the second comma green, the rest
// blue, each read as atoi does and cut to 8 bits; a missing part is 0. The
// value is a COLORREF: red | green << 8 | blue << 16.
std::uint32_t ParseColour(std::string_view text);

struct ScreenRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const ScreenRect&) const = default;
};

// The window moved, its size kept, so that its right and bottom edges lie on
// the desktop's (the whole screen; a taskbar is not taken into account).
ScreenRect PlacedAtCorner(const ScreenRect& window, const ScreenRect& desktop);

// String ids of the protection window's status line.
inline constexpr int kProtectingStringId = 305;
inline constexpr int kNotProtectingStringId = 307;
// "not protecting" while memory and cookies are both off.
int StatusStringId(const ActiveProtectionSettings& settings);

// The tray icon's popup menu, top to bottom.
inline constexpr int kOpenMainProgramCommand = 32775;
inline constexpr int kHomePageCommand = 32776;
inline constexpr int kConfigureCommand = 32773;
inline constexpr int kConfigureProxyCommand = 32772;
inline constexpr int kStopCommand = 32774;
inline constexpr int kDefaultMenuCommand = kConfigureCommand;

struct TrayMenuItem {
    int command = 0;  // 0: a separator
    int text_id = 0;  // string id of its text
    bool grayed = false;
    bool operator==(const TrayMenuItem&) const = default;
};
// The proxy command is greyed for a restricted user.
std::vector<TrayMenuItem> TrayMenuItems(bool restricted);

// What the tray icon's callback message asks for.
enum class TrayRequest { kNone, kShowSettings, kShowMenu };
inline constexpr unsigned kTrayIconId = 129;
inline constexpr unsigned kTrayCallbackMessage = 1026;
inline constexpr std::int64_t kLeftDoubleClick = 515;  // WM_LBUTTONDBLCLK
inline constexpr std::int64_t kRightButtonDown = 516;  // WM_RBUTTONDOWN
// A double-click counts only with the icon's id; the right button with any.
TrayRequest TrayRequestOf(std::uint64_t wparam, std::int64_t lparam);

// Another program asks the window to hide with wParam -1: all bits of its
// low 32 bits set, so that a 32-bit sender's -1 counts too.
bool IsHideRequest(std::uint64_t wparam);

// The controls a restricted user finds disabled: the three boxes, OK, Apply.
inline constexpr std::array<int, 5> kRestrictedDisabledControls = {1000, 1001, 1011, 1015, 1016};

// The machine id made for a run when the settings name none: the GUID as 32
// lower-case hexadecimal digits (Data1, Data2, Data3, the eight bytes of
// Data4), no braces, no dashes.
std::string FormatMachineId(std::uint32_t data1, std::uint16_t data2, std::uint16_t data3,
                            const std::array<std::uint8_t, 8>& data4);

}  // namespace olvex::protect
