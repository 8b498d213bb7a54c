#include "dlgframe/tga_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace olvex::dlgframe {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Header(std::uint8_t id_length, std::uint8_t map_type, std::uint8_t image_type,
             std::uint16_t width, std::uint16_t height, std::uint8_t depth,
             std::uint8_t descriptor) {
    Bytes bytes(kTgaHeaderSize, 0);
    bytes[0] = id_length;
    bytes[1] = map_type;
    bytes[2] = image_type;
    bytes[12] = static_cast<std::uint8_t>(width);
    bytes[13] = static_cast<std::uint8_t>(width >> 8);
    bytes[14] = static_cast<std::uint8_t>(height);
    bytes[15] = static_cast<std::uint8_t>(height >> 8);
    bytes[16] = depth;
    bytes[17] = descriptor;
    return bytes;
}

TEST(TgaReaderTest, AcceptsOnlyUncompressedTrueColour32Bit) {
    struct Case {
        const char* what;
        Bytes header;
        bool accepted;
    };
    const Case cases[] = {
        {"32-bit true colour", Header(0, 0, 2, 4, 4, 32, 0), true},
        {"24-bit", Header(0, 0, 2, 4, 4, 24, 0), false},
        {"colour-mapped", Header(0, 1, 1, 4, 4, 32, 0), false},
        {"colour map with type 2", Header(0, 1, 2, 4, 4, 32, 0), false},
        {"run-length true colour", Header(0, 0, 10, 4, 4, 32, 0), false},
        {"grey", Header(0, 0, 3, 4, 4, 32, 0), false},
        {"short header", Bytes(17, 0), false},
        {"empty", Bytes{}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseTgaHeader(c.header).has_value(), c.accepted) << c.what;
}

TEST(TgaReaderTest, LayoutOfBottomUpAndTopDownImages) {
    const auto bottom_up = TgaImageLayout(*ParseTgaHeader(Header(7, 0, 2, 3, 2, 32, 0x08)));
    ASSERT_TRUE(bottom_up);
    EXPECT_EQ(bottom_up->dib_width, 3);
    EXPECT_EQ(bottom_up->dib_height, 2);
    EXPECT_EQ(bottom_up->pixel_offset, 18u + 7u);
    EXPECT_EQ(bottom_up->pixel_bytes, 24u);

    const auto top_down = TgaImageLayout(*ParseTgaHeader(Header(0, 0, 2, 3, 2, 32, 0x28)));
    ASSERT_TRUE(top_down);
    EXPECT_EQ(top_down->dib_height, -2);
}

TEST(TgaReaderTest, RefusesEmptyAndOversizedImagesBeforeAnyMemoryIsAsked) {
    EXPECT_FALSE(TgaImageLayout(*ParseTgaHeader(Header(0, 0, 2, 0, 5, 32, 0))));
    EXPECT_FALSE(TgaImageLayout(*ParseTgaHeader(Header(0, 0, 2, 5, 0, 32, 0))));
    // 65535 x 65535 x 4 does not fit 32 bits; computed in 64 it is refused.
    EXPECT_FALSE(TgaImageLayout(*ParseTgaHeader(Header(0, 0, 2, 65535, 65535, 32, 0))));
    EXPECT_FALSE(TgaImageLayout(*ParseTgaHeader(Header(0, 0, 2, 4097, 4096, 32, 0))));
    const auto largest = TgaImageLayout(*ParseTgaHeader(Header(0, 0, 2, 4096, 4096, 32, 0)));
    ASSERT_TRUE(largest);
    EXPECT_EQ(largest->pixel_bytes, kTgaMaxPixelBytes);
    // A long thin image is fine.
    EXPECT_TRUE(TgaImageLayout(*ParseTgaHeader(Header(0, 0, 2, 65535, 1, 32, 0))));
}

TEST(TgaReaderTest, CopiesPixelsAfterTheIdentificationFieldWithinBothBounds) {
    // A 1 x 1 image behind a 255-byte identification field full of 0xEE.
    Bytes image = Header(255, 0, 2, 1, 1, 32, 0);
    image.insert(image.end(), 255, 0xEE);
    image.insert(image.end(), {1, 2, 3, 4});
    const auto layout = TgaImageLayout(*ParseTgaHeader(image));
    ASSERT_TRUE(layout);
    std::vector<std::uint8_t> pixels(4, 0);
    EXPECT_EQ(CopyTgaPixels(image, *layout, pixels), 4u);
    EXPECT_EQ(pixels, (std::vector<std::uint8_t>{1, 2, 3, 4}));

    // Truncated inside the pixels: what is there is copied, the rest left.
    Bytes truncated = Header(0, 0, 2, 2, 2, 32, 0);
    truncated.insert(truncated.end(), {9, 9, 9, 9, 8, 8});
    const auto short_layout = TgaImageLayout(*ParseTgaHeader(truncated));
    std::vector<std::uint8_t> out(16, 0);
    EXPECT_EQ(CopyTgaPixels(truncated, *short_layout, out), 6u);
    EXPECT_EQ(out, (std::vector<std::uint8_t>{9, 9, 9, 9, 8, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    // Truncated inside the identification field: nothing.
    Bytes in_id = Header(200, 0, 2, 1, 1, 32, 0);
    in_id.insert(in_id.end(), 50, 0xEE);
    std::vector<std::uint8_t> none(4, 0x55);
    EXPECT_EQ(CopyTgaPixels(in_id, *TgaImageLayout(*ParseTgaHeader(in_id)), none), 0u);
    EXPECT_EQ(none, (std::vector<std::uint8_t>(4, 0x55)));

    // A destination smaller than the image takes only what fits.
    Bytes full = Header(0, 0, 2, 2, 1, 32, 0);
    full.insert(full.end(), {1, 1, 1, 1, 2, 2, 2, 2});
    std::vector<std::uint8_t> small(5, 0);
    EXPECT_EQ(CopyTgaPixels(full, *TgaImageLayout(*ParseTgaHeader(full)), small), 5u);
}

TEST(TgaReaderTest, PremultipliesColourByAlphaDroppingTheRemainder) {
    // Blue, green, red, alpha: the pixel (red 200, green 100, blue 50) at 128.
    std::vector<std::uint8_t> pixels = {50, 100, 200, 128, 255, 255, 255, 0,
                                        10, 20, 30, 255, 1, 2, 3, 1, 7};
    PremultiplyPixels(pixels);
    EXPECT_EQ(pixels, (std::vector<std::uint8_t>{25, 50, 100, 128, 0, 0, 0, 0, 10, 20, 30, 255,
                                                 0, 0, 0, 1, 7}));
}

}  // namespace
}  // namespace olvex::dlgframe
