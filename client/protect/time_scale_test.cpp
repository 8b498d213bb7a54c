#include "client/protect/time_scale.h"

#include <gtest/gtest.h>

#include <optional>
#include <string_view>

namespace olvex::protect {
namespace {

TEST(TimeScaleTest, ReadsTheTestBuildsSettingsOrKeepsTheShippedOnes) {
    using Text = std::optional<std::string_view>;
    const struct {
        Text factor;
        Text first_tick;
        TimeScale expected;
    } cases[] = {
        {std::nullopt, std::nullopt, {1, 86000}},
        {"60", "86390", {60, 86390}},
        {"0", "0", {1, 0}},
        {"", "", {1, 86000}},
        {"10x", "86400", {1, 86400}},
        {"100001", "86401", {1, 86000}},
        {"100000", "-1", {100000, 86000}},
        {" 5", "5 ", {1, 86000}},
        {"99999999999", "1", {1, 1}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseTimeScale(c.factor, c.first_tick), c.expected)
            << c.factor.value_or("-") << " " << c.first_tick.value_or("-");
    }
}

TEST(TimeScaleTest, WaitsShortenAndTheClockRunsFast) {
    EXPECT_EQ(ScaledWait(500, 1), 500u);
    EXPECT_EQ(ScaledWait(500, 100), 5u);
    EXPECT_EQ(ScaledWait(500, 1000), 1u) << "never a busy loop of zero waits";
    EXPECT_EQ(ScaledWait(0, 1000), 0u);
    EXPECT_EQ(ScaledNow(1000, 0, 60), 1000);
    EXPECT_EQ(ScaledNow(1000, 1500, 1), 1001);
    EXPECT_EQ(ScaledNow(1000, 1500, 60), 1090);
    EXPECT_EQ(ScaledNow(0, 86400ull * 1000, 86400), 86400ll * 86400);
}

}  // namespace
}  // namespace olvex::protect
