#include "olvex/core/dotted_version.h"

#include <gtest/gtest.h>

namespace olvex {
namespace {

TEST(DottedVersionTest, ReadsLikeTheScanfFormat) {
    struct Case {
        const char* text;
        DottedVersion parts;
    };
    const Case cases[] = {
        {"5.6.7.4", {5, 6, 7, 4}},
        {"5.6.8.0", {5, 6, 8, 0}},
        {"5.6", {5, 6, 0, 0}},
        {"6", {6, 0, 0, 0}},
        {"", {0, 0, 0, 0}},
        {"abc", {0, 0, 0, 0}},
        {"five.six", {0, 0, 0, 0}},
        {"5.x.7.4", {5, 0, 0, 0}},  // reading stops at the first non-number
        {"5.6.7.4.9", {5, 6, 7, 4}},
        {"5.6.7.4abc", {5, 6, 7, 4}},
        {" 5. 6.7.4", {5, 6, 7, 4}},  // blanks before a number are skipped
        {"5 .6.7.4", {5, 0, 0, 0}},   // but the dot must follow at once
        {"-1.2.3.4", {-1, 2, 3, 4}},
        {"99999999999999999999.1", {2147483647, 1, 0, 0}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseDottedVersion(c.text), c.parts) << '"' << c.text << '"';
    }
}

}  // namespace
}  // namespace olvex
