#include "dlgframe/frame_palette.h"

namespace olvex::dlgframe {
namespace {

constexpr Palette kTrueColour = {{
    {139, 194, 226}, {18, 133, 194},   // tab normal
    {139, 194, 226}, {255, 255, 255},  // tab hover
    {139, 194, 226}, {139, 194, 226},  // tab current
    {0, 0, 0},                         // text
    {50, 100, 200},                    // active text
    {162, 203, 230}, {107, 149, 185},  // face normal
    {226, 239, 248}, {107, 149, 185},  // face hover
    {226, 239, 248}, {209, 230, 243},  // face pressed
    {139, 194, 226}, {255, 255, 255},  // surface
    {127, 127, 127},                   // disabled text
}};

constexpr Palette kEightBit = {{
    {172, 168, 153}, {172, 168, 153},  // tab normal
    {255, 255, 0}, {255, 255, 0},      // tab hover
    {0, 128, 128}, {0, 128, 128},      // tab current
    {0, 0, 0},                         // text
    {255, 255, 255},                   // active text
    {236, 233, 216}, {236, 233, 216},  // face normal
    {255, 255, 0}, {255, 255, 0},      // face hover
    {0, 128, 128}, {0, 128, 128},      // face pressed
    {172, 168, 153}, {172, 168, 153},  // surface
    {127, 127, 127},                   // disabled text
}};

std::uint8_t Channel(int first, int last, int row, int length) {
    return static_cast<std::uint8_t>(first + (last - first) * row / length);
}

}  // namespace

const Palette& PaletteScheme(bool eight_bit_screen) {
    return eight_bit_screen ? kEightBit : kTrueColour;
}

Rgb GradientColour(Rgb first, Rgb last, int row, int length) {
    if (length <= 0)
        return first;
    return {Channel(first.red, last.red, row, length), Channel(first.green, last.green, row, length),
            Channel(first.blue, last.blue, row, length)};
}

}  // namespace olvex::dlgframe
