#include "client/protect/protection_ticks.h"

#include <gtest/gtest.h>

#include <vector>

#include "client/protect/time_scale.h"

namespace olvex::protect {
namespace {

struct TickRun {
    std::vector<std::uint64_t> re_adds;
    std::vector<std::uint64_t> daily;
};

// Ticks 1..ticks from the shipped first value; which ticks re-added the icon
// and which ran the daily work.
TickRun TickFor(std::uint64_t ticks, std::uint32_t first = kFirstTick) {
    TickCounter counter(first, kTicksPerDay);
    TickRun run;
    for (std::uint64_t tick = 1; tick <= ticks; ++tick) {
        const TickStep step = counter.Tick();
        EXPECT_FALSE(step.re_add_icon && step.daily_work) << tick;
        if (step.re_add_icon)
            run.re_adds.push_back(tick);
        if (step.daily_work)
            run.daily.push_back(tick);
    }
    return run;
}

TEST(TickCounterTest, IconComesBackEveryFourthTickThreeHundredTimes) {
    const TickRun run = TickFor(3 * 86401);
    ASSERT_EQ(run.re_adds.size(), 300u);
    // Before the counter's first reset at tick 401: ticks 4, 8, ... 400.
    for (std::size_t i = 0; i < 100; ++i)
        EXPECT_EQ(run.re_adds[i], 4 * (i + 1)) << i;
    // After it: 405, 409, ... (none on the reset tick itself).
    for (std::size_t i = 100; i < 300; ++i)
        EXPECT_EQ(run.re_adds[i], 401 + 4 * (i - 99)) << i;
    EXPECT_EQ(run.re_adds.back(), 1201u);
}

TEST(TickCounterTest, DailyWorkAtTick401ThenEvery86401Ticks) {
    const TickRun run = TickFor(3 * 86401 + 401);
    const std::vector<std::uint64_t> expected = {401, 401 + 86401, 401 + 2 * 86401,
                                                 401 + 3 * 86401};
    EXPECT_EQ(run.daily, expected);
}

TEST(TickCounterTest, AFirstValueNearTheEndOfTheDayBringsTheDailyWorkForward) {
    // The test build's first tick set near the day's end.
    const struct {
        std::uint32_t first;
        std::uint64_t first_daily;
    } cases[] = {{86400, 1}, {86399, 2}, {86395, 6}, {0, 86401}};
    for (const auto& c : cases) {
        TickCounter counter(c.first, kTicksPerDay);
        std::uint64_t tick = 0;
        while (!counter.Tick().daily_work && tick < 200000)
            ++tick;
        EXPECT_EQ(tick + 1, c.first_daily) << c.first;
        EXPECT_EQ(counter.counter(), 0u);
    }
}

}  // namespace
}  // namespace olvex::protect
