// The framework's colours, gradients, style and banner choice.
#include "dlgframe/frame_palette.h"
#include "dlgframe/frame_style.h"

#include <gtest/gtest.h>

#include <optional>
#include <string_view>

namespace olvex::dlgframe {
namespace {

TEST(FramePaletteTest, SchemeFollowsTheScreenDepth) {
    const Palette& true_colour = PaletteScheme(false);
    const Palette& eight_bit = PaletteScheme(true);
    EXPECT_EQ(PaletteColour(true_colour, PaletteEntry::kSurface1), (Rgb{139, 194, 226}));
    EXPECT_EQ(PaletteColour(true_colour, PaletteEntry::kSurface2), (Rgb{255, 255, 255}));
    EXPECT_EQ(PaletteColour(true_colour, PaletteEntry::kFaceNormal2), (Rgb{107, 149, 185}));
    EXPECT_EQ(PaletteColour(true_colour, PaletteEntry::kActiveText), (Rgb{50, 100, 200}));
    EXPECT_EQ(PaletteColour(true_colour, PaletteEntry::kTabNormal2), (Rgb{18, 133, 194}));
    EXPECT_EQ(PaletteColour(eight_bit, PaletteEntry::kSurface1), (Rgb{172, 168, 153}));
    EXPECT_EQ(PaletteColour(eight_bit, PaletteEntry::kTabHover1), (Rgb{255, 255, 0}));
    EXPECT_EQ(PaletteColour(eight_bit, PaletteEntry::kFacePressed2), (Rgb{0, 128, 128}));
    EXPECT_EQ(PaletteColour(eight_bit, PaletteEntry::kActiveText), (Rgb{255, 255, 255}));
    for (const Palette* scheme : {&true_colour, &eight_bit}) {
        EXPECT_EQ(PaletteColour(*scheme, PaletteEntry::kText), (Rgb{0, 0, 0}));
        EXPECT_EQ(PaletteColour(*scheme, PaletteEntry::kDisabledText), (Rgb{127, 127, 127}));
    }
}

TEST(FramePaletteTest, GradientRowsFollowTheFormulaBothWays) {
    const Rgb top{139, 194, 226};
    const Rgb bottom{255, 255, 255};
    EXPECT_EQ(GradientColour(top, bottom, 0, 100), top);
    // 139 + 116 * 50 / 100 = 197; 194 + 61 * 50 / 100 = 224; 226 + 29 / 2 = 240.
    EXPECT_EQ(GradientColour(top, bottom, 50, 100), (Rgb{197, 224, 240}));
    EXPECT_EQ(GradientColour(top, bottom, 99, 100), (Rgb{253, 254, 254}));
    // A falling channel truncates towards zero: 162 - 55 * 1 / 3 = 162 - 18.
    EXPECT_EQ(GradientColour({162, 203, 230}, {107, 149, 185}, 1, 3), (Rgb{144, 185, 215}));
    EXPECT_EQ(GradientColour(top, bottom, 5, 0), top);
}

TEST(FrameStyleTest, StyleStringsAndDecimalText) {
    struct Case {
        std::optional<std::wstring_view> text;
        int style;
    };
    const Case cases[] = {
        {std::nullopt, 0}, {L"", 0},   {L"0", 0},  {L"1", 1},    {L"2", 2},  {L"3", 3},
        {L"7", 0},         {L"-1", 0}, {L" 2", 2}, {L"2abc", 2}, {L"x2", 0}, {L"+3", 3},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseStyle(c.text), c.style) << (c.text ? std::wstring(*c.text) : L"(none)");

    EXPECT_EQ(ParseDecimal(L"-13"), -13);
    EXPECT_EQ(ParseDecimal(L"\t 15 px"), 15);
    EXPECT_EQ(ParseDecimal(L"99999999999999"), 2147483647);
    EXPECT_EQ(ParseDecimal(L"-99999999999999"), -2147483647 - 1);
    EXPECT_EQ(ParseDecimal(L"-"), 0);
}

TEST(FrameStyleTest, StyleAddsABannerPlacementOnlyWhenTheCallerGaveNone) {
    EXPECT_EQ(AddStyleBit(0x2, 0), 0x82u);
    EXPECT_EQ(AddStyleBit(0x2, 1), 0x102u);
    EXPECT_EQ(AddStyleBit(0x2, 2), 0x202u);
    EXPECT_EQ(AddStyleBit(0x2, 3), 0x2u);
    EXPECT_EQ(AddStyleBit(0x2 | 0x100, 2), 0x102u);
    EXPECT_EQ(AddStyleBit(0x2 | 0x80, 1), 0x82u);
    // 0x200 alone is not a caller's placement: style 0 adds the left piece,
    // and 0x200 still asks for both.
    EXPECT_EQ(AddStyleBit(0x200, 0), 0x280u);
}

TEST(FrameStyleTest, BannerPieces) {
    struct Case {
        std::uint32_t flags;
        BannerSize size;
        bool both;
        bool right;
        unsigned left_bitmap;
        unsigned right_bitmap;
    };
    const Case cases[] = {
        {0x0, BannerSize::kNone, false, false, 0, 0},
        {0x10 | 0x80, BannerSize::kNone, false, false, 0, 0},
        {0x2 | 0x80, BannerSize::kSmall, false, false, 186, 285},
        {0x2, BannerSize::kSmall, false, false, 186, 285},  // style 3: the left piece
        {0x2 | 0x100, BannerSize::kSmall, false, true, 186, 285},
        {0x2 | 0x200, BannerSize::kSmall, true, false, 186, 285},
        {0x2 | 0x4 | 0x200, BannerSize::kSmall, true, false, 186, 285},
        {0x4 | 0x100, BannerSize::kLarge, false, true, 187, 286},
        {0x4 | 0x280, BannerSize::kLarge, true, false, 187, 286},
    };
    for (const Case& c : cases) {
        const BannerChoice choice = ChooseBanner(c.flags);
        EXPECT_EQ(choice.size, c.size) << std::hex << c.flags;
        EXPECT_EQ(choice.both, c.both) << std::hex << c.flags;
        EXPECT_EQ(choice.right, c.right) << std::hex << c.flags;
        EXPECT_EQ(choice.left_bitmap, c.left_bitmap) << std::hex << c.flags;
        EXPECT_EQ(choice.right_bitmap, c.right_bitmap) << std::hex << c.flags;
    }
}

}  // namespace
}  // namespace olvex::dlgframe
