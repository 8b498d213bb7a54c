#include "olvex/core/leading_decimal.h"

#include <gtest/gtest.h>

#include <string>

namespace olvex {
namespace {

TEST(LeadingDecimal, ReadsLikeAtoiAndSaturates) {
    struct Case {
        std::string text;
        std::int32_t int32;
        std::uint32_t word32;
        std::uint32_t count32;
    } const cases[] = {
        {"42", 42, 42, 42},
        {"  \t-17xyz", -17, 0xFFFFFFEFu, 0},
        {"+8 9", 8, 8, 8},
        {"", 0, 0, 0},
        {"abc", 0, 0, 0},
        {"- 5", 0, 0, 0},
        {"2147483647", 2147483647, 0x7FFFFFFFu, 0x7FFFFFFFu},
        {"2147483648", 2147483647, 0x80000000u, 0x80000000u},
        {"-2147483648", -2147483647 - 1, 0x80000000u, 0},
        {"4294967295", 2147483647, 0xFFFFFFFFu, 0xFFFFFFFFu},
        {"4294967296", 2147483647, 0xFFFFFFFFu, 0xFFFFFFFFu},
        {"-99999999999999999999999999", -2147483647 - 1, 0x80000000u, 0},
        {"99999999999999999999999999", 2147483647, 0xFFFFFFFFu, 0xFFFFFFFFu},
        {"0000000000000000000000000012", 12, 12, 12},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseLeadingInt32(c.text), c.int32) << c.text;
        EXPECT_EQ(ParseLeadingWord32(c.text), c.word32) << c.text;
        EXPECT_EQ(ParseLeadingCount32(c.text), c.count32) << c.text;
    }
}

}  // namespace
}  // namespace olvex
