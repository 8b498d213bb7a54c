// A small PNG writer for the tests' screenshots: 8-bit RGB, no interlace,
// deflated with zlib.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace olvex::gui {

// pixels: width * height * 3 bytes, rows top to bottom, red green blue.
// The PNG file's bytes; empty when the sizes do not fit the pixels.
std::vector<std::uint8_t> EncodePng(std::uint32_t width, std::uint32_t height,
                                    std::span<const std::uint8_t> pixels);

}  // namespace olvex::gui
