#include "client/protect/protection_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace olvex::protect {
namespace {

constexpr std::uint32_t Rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return r | g << 8 | b << 16;
}

TEST(ProtectionLayoutTest, ParseColourReadsThreePartsAsAtoiCutToEightBits) {
    const struct {
        const char* text;
        std::uint32_t colour;
    } cases[] = {
        {"255,255,255", Rgb(255, 255, 255)},
        {"51,102,153", Rgb(51, 102, 153)},
        {" 1, 2 ,3 ", Rgb(1, 2, 3)},
        {"256,257,-1", Rgb(0, 1, 255)},
        {"12abc,34x,56y", Rgb(12, 34, 56)},
        {"7", Rgb(7, 0, 0)},
        {"7,8", Rgb(7, 8, 0)},
        {"1,2,3,4", Rgb(1, 2, 3)},
        {"", 0},
        {",,", 0},
        {"99999999999999999999,0,0", Rgb(255, 0, 0)},  // 10^20 - 1, cut to 8 bits
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseColour(c.text), c.colour) << c.text;
    }
}

TEST(ProtectionLayoutTest, AlertsMeetTheDesktopsBottomRightCorner) {
    const struct {
        ScreenRect window;
        ScreenRect desktop;
        ScreenRect placed;
    } cases[] = {
        {{10, 20, 310, 170}, {0, 0, 1024, 768}, {724, 618, 1024, 768}},
        {{724, 618, 1024, 768}, {0, 0, 800, 600}, {500, 450, 800, 600}},
        {{0, 0, 900, 700}, {0, 0, 800, 600}, {-100, -100, 800, 600}},
        {{5, 5, 105, 55}, {-1280, 0, 0, 1024}, {-100, 974, 0, 1024}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PlacedAtCorner(c.window, c.desktop), c.placed);
    }
}

TEST(ProtectionLayoutTest, StatusSaysNotProtectingOnlyWithBothScansOff) {
    EXPECT_EQ(StatusStringId({0, 0, 1, 1}), kNotProtectingStringId);
    EXPECT_EQ(StatusStringId({1, 0, 0, 0}), kProtectingStringId);
    EXPECT_EQ(StatusStringId({0, 1, 0, 0}), kProtectingStringId);
    EXPECT_EQ(StatusStringId({1, 1, 0, 1}), kProtectingStringId);
}

TEST(ProtectionLayoutTest, TrayMenuGreysTheProxyCommandForRestrictedUsers) {
    for (const bool restricted : {false, true}) {
        const auto items = TrayMenuItems(restricted);
        const std::vector<TrayMenuItem> expected = {
            {32775, 127, false}, {0, 0, false},       {32776, 130, false},
            {0, 0, false},       {32773, 128, false}, {32772, 162, restricted},
            {32774, 129, false},
        };
        EXPECT_EQ(items, expected) << restricted;
    }
    EXPECT_EQ(kDefaultMenuCommand, 32773);
}

TEST(ProtectionLayoutTest, TrayCallbacksAndHideRequests) {
    const struct {
        std::uint64_t wparam;
        std::int64_t lparam;
        TrayRequest request;
    } cases[] = {
        {129, 515, TrayRequest::kShowSettings},
        {130, 515, TrayRequest::kNone},
        {129, 516, TrayRequest::kShowMenu},
        {7, 516, TrayRequest::kShowMenu},
        {129, 513, TrayRequest::kNone},
        {0xFFFFFFFF00000081ull, 515, TrayRequest::kShowSettings},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TrayRequestOf(c.wparam, c.lparam), c.request) << c.wparam << " " << c.lparam;
    }
    EXPECT_TRUE(IsHideRequest(~std::uint64_t{0}));
    EXPECT_TRUE(IsHideRequest(0xFFFFFFFFull)) << "a 32-bit sender's -1";
    EXPECT_FALSE(IsHideRequest(0xFFFFFFFEull));
    EXPECT_FALSE(IsHideRequest(0xFFFFFFFF00000000ull));
    EXPECT_FALSE(IsHideRequest(129));
}

TEST(ProtectionLayoutTest, MachineIdIsThirtyTwoLowerCaseDigits) {
    EXPECT_EQ(FormatMachineId(0x0123ABCD, 0x4EF5, 0x6789,
                              {0xA0, 0x0B, 0xC1, 0xD2, 0xE3, 0xF4, 0x05, 0x16}),
              "0123abcd4ef56789a00bc1d2e3f40516");
    EXPECT_EQ(FormatMachineId(0, 0, 0, {}), std::string(32, '0'));
    EXPECT_EQ(FormatMachineId(0xFFFFFFFF, 0xFFFF, 0xFFFF,
                              {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),
              std::string(32, 'f'));
}

}  // namespace
}  // namespace olvex::protect
