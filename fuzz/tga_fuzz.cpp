// The framework's TGA reader over hostile bytes: header, layout, a bounded
// pixel copy into a buffer the size the DIB section would have, premultiply.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "dlgframe/tga_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const auto header = olvex::dlgframe::ParseTgaHeader(bytes);
    if (!header)
        return 0;
    const auto layout = olvex::dlgframe::TgaImageLayout(*header);
    if (!layout)
        return 0;
    if (layout->pixel_bytes > olvex::dlgframe::kTgaMaxPixelBytes || layout->dib_width <= 0 ||
        layout->dib_height == 0)
        __builtin_trap();
    // Keep the fuzzer's memory small: big images are copied into the first
    // megabyte of their pixels only (the copy is bounded by the buffer).
    const std::size_t room = static_cast<std::size_t>(
        layout->pixel_bytes < (1u << 20) ? layout->pixel_bytes : (1u << 20));
    std::vector<std::uint8_t> pixels(room, 0);
    const std::size_t copied = olvex::dlgframe::CopyTgaPixels(bytes, *layout, pixels);
    if (copied > room || copied > size)
        __builtin_trap();
    olvex::dlgframe::PremultiplyPixels(pixels);
    return 0;
}
