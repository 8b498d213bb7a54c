#include "testing/gui/png_writer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

namespace olvex::gui {
namespace {

std::uint32_t BigEndian(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return (bytes[at] << 24) | (bytes[at + 1] << 16) | (bytes[at + 2] << 8) | bytes[at + 3];
}

TEST(PngWriterTest, WritesChunksWithValidChecksumsAndTheRowsUnfiltered) {
    const std::vector<std::uint8_t> pixels = {1, 2, 3, 4,  5,  6,  // first row
                                              7, 8, 9, 10, 11, 12};
    const auto png = EncodePng(2, 2, pixels);
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(std::string(png.begin() + 1, png.begin() + 4), "PNG");
    std::vector<std::string> types;
    std::vector<std::uint8_t> idat;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const std::uint32_t length = BigEndian(png, at);
        ASSERT_LE(at + 12 + length, png.size());
        const std::string type(png.begin() + at + 4, png.begin() + at + 8);
        types.push_back(type);
        EXPECT_EQ(crc32(0, png.data() + at + 4, length + 4), BigEndian(png, at + 8 + length))
            << type;
        if (type == "IHDR") {
            EXPECT_EQ(BigEndian(png, at + 8), 2u);
            EXPECT_EQ(BigEndian(png, at + 12), 2u);
        }
        if (type == "IDAT")
            idat.assign(png.begin() + at + 8, png.begin() + at + 8 + length);
        at += 12 + length;
    }
    EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
    std::vector<std::uint8_t> raw(14);
    uLongf raw_size = raw.size();
    ASSERT_EQ(uncompress(raw.data(), &raw_size, idat.data(), idat.size()), Z_OK);
    EXPECT_EQ(raw, (std::vector<std::uint8_t>{0, 1, 2, 3, 4, 5, 6, 0, 7, 8, 9, 10, 11, 12}));
}

TEST(PngWriterTest, RefusesPixelsThatDoNotFitTheSize) {
    EXPECT_TRUE(EncodePng(2, 2, std::vector<std::uint8_t>(11)).empty());
    EXPECT_TRUE(EncodePng(0, 1, {}).empty());
}

}  // namespace
}  // namespace olvex::gui
