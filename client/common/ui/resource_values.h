// Values the programs keep as texts in their string tables: colours as
// "r,g,b", font sizes in points and messages with "%s" blanks. Reading them
// needs no window system.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace olvex::ui {

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// "51,102,153": three decimal numbers 0 to 255 separated by commas, blanks
// allowed around each. Anything else (a missing part, a fourth one, a number
// out of range, a sign) gives nullopt, so a broken string table entry shows
// as the default colour rather than a guessed one.
std::optional<Rgb> ParseRgb(std::string_view text);

// A font size in whole points ("12", blanks allowed around it), 1 to 1638 so
// that tenths of a point still fit a 16-bit value.
std::optional<int> ParsePointSize(std::string_view text);

// The logical font height for a size in tenths of a point on a device of the
// given pixels per inch: negative (a character height, not a cell height),
// rounded to the nearest pixel.
int FontHeightForTenthsOfPoint(int tenths, int pixels_per_inch);

// The format with its "%s" blanks filled by the texts in turn. A "%s" inside
// a text put in is left as it is; blanks without a text stay, texts without a
// blank are dropped.
std::wstring FillInTexts(std::wstring format, const std::vector<std::wstring>& texts);

}  // namespace olvex::ui
