#include "dlgframe/label_text.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace olvex::dlgframe {
namespace {

TEST(LabelTextTest, SplitsAtTheFirstBar) {
    const LabelParts two = SplitLabel(L"Left|Right");
    EXPECT_EQ(two.left, L"Left");
    ASSERT_TRUE(two.right);
    EXPECT_EQ(*two.right, L"Right");

    const LabelParts three = SplitLabel(L"a|b|c");
    EXPECT_EQ(three.left, L"a");
    EXPECT_EQ(*three.right, L"b|c");

    const LabelParts empty_right = SplitLabel(L"Name|");
    EXPECT_EQ(empty_right.left, L"Name");
    EXPECT_EQ(*empty_right.right, L"");

    const LabelParts one = SplitLabel(L"Plain text");
    EXPECT_EQ(one.left, L"Plain text");
    EXPECT_FALSE(one.right);
}

TEST(LabelTextTest, CopiesAreBoundedAndTerminated) {
    std::array<wchar_t, 5> out{};
    out.fill(L'#');
    EXPECT_EQ(CopyText(L"abcdefgh", out), 4u);
    EXPECT_EQ(std::wstring(out.data()), L"abcd");

    out.fill(L'#');
    EXPECT_EQ(CopyText(L"ab", out), 2u);
    EXPECT_EQ(std::wstring(out.data()), L"ab");
    EXPECT_EQ(out[3], L'#');

    // Text ends at an embedded zero, as a window's text does.
    EXPECT_EQ(CopyText(std::wstring_view(L"xy\0z", 4), out), 2u);

    std::span<wchar_t> none;
    EXPECT_EQ(CopyText(L"abc", none), 0u);
    std::array<wchar_t, 1> one{L'#'};
    EXPECT_EQ(CopyText(L"abc", one), 0u);
    EXPECT_EQ(one[0], L'\0');
}

}  // namespace
}  // namespace olvex::dlgframe
