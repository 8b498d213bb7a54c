// Uncompressed 32-bit TGA images as the framework's images are stored: an
// 18-byte header, an identification field that is skipped, then 4-byte
// pixels (blue, green, red, alpha) that a 32-bit DIB section takes as they
// are. Portable: the Windows loaders make the DIB section and hand its pixel
// memory to these routines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace olvex::dlgframe {

inline constexpr std::size_t kTgaHeaderSize = 18;
// No framework image comes near this; a header claiming more is refused
// before any memory is asked for (64 MiB of pixels, 4096 x 4096).
inline constexpr std::uint64_t kTgaMaxPixelBytes = std::uint64_t{64} << 20;

struct TgaHeader {
    std::uint8_t id_length = 0;
    std::uint8_t color_map_type = 0;
    std::uint8_t image_type = 0;
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint8_t pixel_depth = 0;
    std::uint8_t descriptor = 0;
};

// Where the pixels lie and the DIB section they become.
struct TgaLayout {
    std::int32_t dib_width = 0;
    std::int32_t dib_height = 0;         // negative for rows stored top to bottom
    std::uint64_t pixel_offset = 0;      // header and identification field
    std::uint64_t pixel_bytes = 0;       // width x height x 4
};

// The header of a true-colour, uncompressed, 32-bit image without a colour
// map; nothing for fewer than 18 bytes or any other kind of image.
std::optional<TgaHeader> ParseTgaHeader(std::span<const std::uint8_t> bytes);

// The layout of an accepted header; nothing for a zero width or height or
// for more pixels than kTgaMaxPixelBytes.
std::optional<TgaLayout> TgaImageLayout(const TgaHeader& header);

// Copies the pixels that follow the header and identification field of a
// whole image in memory into `pixels`: no more than the image holds, no more
// than `pixels` takes. Returns the bytes copied; the rest of `pixels` is left
// as it was (a short image leaves zeros in a fresh DIB section).
std::size_t CopyTgaPixels(std::span<const std::uint8_t> image, const TgaLayout& layout,
                          std::span<std::uint8_t> pixels);

// Premultiplies blue, green and red by alpha / 255 (remainder dropped), the
// form AlphaBlend wants for per-pixel alpha. A trailing partial pixel is left.
void PremultiplyPixels(std::span<std::uint8_t> pixels);

}  // namespace olvex::dlgframe
