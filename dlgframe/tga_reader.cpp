#include "dlgframe/tga_reader.h"

#include <algorithm>
#include <cstring>

namespace olvex::dlgframe {
namespace {

std::uint16_t ReadLe16(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

}  // namespace

std::optional<TgaHeader> ParseTgaHeader(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kTgaHeaderSize)
        return std::nullopt;
    TgaHeader header;
    header.id_length = bytes[0];
    header.color_map_type = bytes[1];
    header.image_type = bytes[2];
    header.width = ReadLe16(bytes, 12);
    header.height = ReadLe16(bytes, 14);
    header.pixel_depth = bytes[16];
    header.descriptor = bytes[17];
    if (header.color_map_type != 0 || header.image_type != 2 || header.pixel_depth != 32)
        return std::nullopt;
    return header;
}

std::optional<TgaLayout> TgaImageLayout(const TgaHeader& header) {
    if (header.width == 0 || header.height == 0)
        return std::nullopt;
    const std::uint64_t bytes = std::uint64_t{header.width} * header.height * 4;
    if (bytes > kTgaMaxPixelBytes)
        return std::nullopt;
    TgaLayout layout;
    layout.dib_width = header.width;
    const bool top_down = (header.descriptor & 0x20) != 0;
    layout.dib_height = top_down ? -std::int32_t{header.height} : std::int32_t{header.height};
    layout.pixel_offset = kTgaHeaderSize + header.id_length;
    layout.pixel_bytes = bytes;
    return layout;
}

std::size_t CopyTgaPixels(std::span<const std::uint8_t> image, const TgaLayout& layout,
                          std::span<std::uint8_t> pixels) {
    if (layout.pixel_offset >= image.size())
        return 0;
    const std::uint64_t available = image.size() - layout.pixel_offset;
    const std::size_t count = static_cast<std::size_t>(
        std::min({available, layout.pixel_bytes, std::uint64_t{pixels.size()}}));
    if (count > 0)
        std::memcpy(pixels.data(), image.data() + layout.pixel_offset, count);
    return count;
}

void PremultiplyPixels(std::span<std::uint8_t> pixels) {
    const std::size_t whole = pixels.size() / 4 * 4;
    for (std::size_t i = 0; i < whole; i += 4) {
        const unsigned alpha = pixels[i + 3];
        for (std::size_t channel = 0; channel < 3; ++channel)
            pixels[i + channel] = static_cast<std::uint8_t>(pixels[i + channel] * alpha / 255);
    }
}

}  // namespace olvex::dlgframe
