// The framework's 17 colours and the gradients drawn with them. Two schemes:
// one for true-colour screens and one that an 8-bit screen can show.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace olvex::dlgframe {

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

enum class PaletteEntry : std::size_t {
    kTabNormal1,     // top of an idle tab's gradient
    kTabNormal2,     // bottom of it
    kTabHover1,      // the hovered tab
    kTabHover2,
    kTabCurrent1,    // the current tab
    kTabCurrent2,
    kText,           // control text
    kActiveText,     // hovered check box or radio button, pressed push button
    kFaceNormal1,    // push button face, top and bottom
    kFaceNormal2,
    kFaceHover1,
    kFaceHover2,
    kFacePressed1,
    kFacePressed2,
    kSurface1,       // start of the dialog background and label gradients
    kSurface2,       // their end
    kDisabledText,
    kCount,
};

inline constexpr std::size_t kPaletteSize = static_cast<std::size_t>(PaletteEntry::kCount);
using Palette = std::array<Rgb, kPaletteSize>;

// The scheme for the screen: the 8-bit one when a screen-compatible bitmap
// has 8 bits per pixel, else the true-colour one.
const Palette& PaletteScheme(bool eight_bit_screen);

inline const Rgb& PaletteColour(const Palette& palette, PaletteEntry entry) {
    return palette[static_cast<std::size_t>(entry)];
}

// Row `row` of a gradient `length` rows (or columns) long: each channel is
// first + (last - first) * row / length, integer division.
Rgb GradientColour(Rgb first, Rgb last, int row, int length);

}  // namespace olvex::dlgframe
