#include "client/protect/time_scale.h"

#include <gtest/gtest.h>

#include <cstdint>
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

// A tick counter the test moves; it starts an hour before its wrap.
struct FakeTicks {
    std::uint32_t value = 0xFFFFFFFFu - 3600u * 1000u;
    void Advance(std::uint64_t milliseconds) {
        value = static_cast<std::uint32_t>(value + milliseconds);
    }
};

TEST(ScaledTimeTest, TheShippedClockIsTheWallClockWhateverTheTicksDo) {
    std::int64_t wall = 1800000000;
    FakeTicks ticks;
    ScaledTime time(
        1, [&] { return wall; }, [&] { return ticks.value; });
    EXPECT_EQ(time.Now(), 1800000000);
    // 50 days on: the tick counter wrapped, "now" did not go back.
    wall += 50ll * 86400;
    ticks.Advance(50ull * 86400 * 1000);
    EXPECT_EQ(time.Now(), 1800000000 + 50ll * 86400);
    // The user sets the clock: seen at once, both ways.
    wall -= 3 * 86400;
    EXPECT_EQ(time.Now(), 1800000000 + 47ll * 86400);
    wall += 10 * 86400;
    EXPECT_EQ(time.Now(), 1800000000 + 57ll * 86400);
}

TEST(ScaledTimeTest, TheTestBuildsClockRunsOnAcrossTheTickCountersWrap) {
    std::int64_t wall = 1800000000;
    FakeTicks ticks;
    ScaledTime time(
        60, [&] { return wall; }, [&] { return ticks.value; });
    std::int64_t previous = time.Now();
    EXPECT_EQ(previous, 1800000000);
    // Read every ten real minutes for 60 days: past the counter's wrap
    // (49.7 days) the scaled time keeps rising by 60 times ten minutes.
    for (int step = 1; step <= 60 * 24 * 6; ++step) {
        ticks.Advance(600 * 1000);
        const std::int64_t now = time.Now();
        ASSERT_EQ(now - previous, 600 * 60) << "step " << step;
        previous = now;
    }
    EXPECT_EQ(previous, 1800000000 + 60ll * 86400 * 60);
    // The test build's time is its own: a change of the wall clock is not seen.
    wall -= 86400;
    ticks.Advance(1000);
    EXPECT_EQ(time.Now(), previous + 60);
}

}  // namespace
}  // namespace olvex::protect
