#include "client/common/ui/resource_values.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace olvex::ui {
namespace {

TEST(ResourceValues, ColoursAreThreeBytesSeparatedByCommas) {
    struct Case {
        std::string text;
        std::optional<Rgb> expected;
    };
    const Case cases[] = {
        {"51,102,153", Rgb{51, 102, 153}},
        {"192,192,192", Rgb{192, 192, 192}},
        {" 0 , 0 ,255 ", Rgb{0, 0, 255}},
        {"255,255,255", Rgb{255, 255, 255}},
        {"", std::nullopt},
        {"51,102", std::nullopt},
        {"51,102,153,7", std::nullopt},
        {"51,,153", std::nullopt},
        {"256,0,0", std::nullopt},
        {"-1,0,0", std::nullopt},
        {"+1,0,0", std::nullopt},
        {"0x10,0,0", std::nullopt},
        {"1 2,3,4", std::nullopt},
        {"99999999999,0,0", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseRgb(c.text), c.expected) << '"' << c.text << '"';
}

TEST(ResourceValues, PointSizesAreWholePositiveNumbers) {
    EXPECT_EQ(ParsePointSize("12"), 12);
    EXPECT_EQ(ParsePointSize(" 10 "), 10);
    EXPECT_EQ(ParsePointSize("1638"), 1638);
    for (const char* bad : {"", "0", "1639", "9.5", "ten", "-9"})
        EXPECT_EQ(ParsePointSize(bad), std::nullopt) << bad;
}

TEST(ResourceValues, FontHeightsAreNegativeRoundedPixelHeights) {
    // 9, 10 and 12 points at 96 and 120 pixels per inch.
    EXPECT_EQ(FontHeightForTenthsOfPoint(90, 96), -12);
    EXPECT_EQ(FontHeightForTenthsOfPoint(100, 96), -13);  // 13.33
    EXPECT_EQ(FontHeightForTenthsOfPoint(120, 96), -16);
    EXPECT_EQ(FontHeightForTenthsOfPoint(100, 120), -17);  // 16.67
    EXPECT_EQ(FontHeightForTenthsOfPoint(75, 96), -10);    // 10.0
    EXPECT_EQ(FontHeightForTenthsOfPoint(0, 96), 0);
}

TEST(ResourceValues, MessageBlanksAreFilledInTurn) {
    struct Case {
        std::wstring format;
        std::vector<std::wstring> texts;
        std::wstring expected;
    };
    const Case cases[] = {
        {L"Could not remove %s: %s.",
         {L"C:\\a.exe", L"Access denied"},
         L"Could not remove C:\\a.exe: Access denied."},
        {L"%s%s", {L"%s", L"x"}, L"%sx"},  // a blank inside a text is not filled
        {L"Only %s here.", {L"one", L"two"}, L"Only one here."},
        {L"%s and %s", {L"one"}, L"one and %s"},
        {L"No blanks.", {L"one"}, L"No blanks."},
        {L"%s", {}, L"%s"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FillInTexts(c.format, c.texts), c.expected);
}

}  // namespace
}  // namespace olvex::ui
