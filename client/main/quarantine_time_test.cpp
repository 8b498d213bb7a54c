// A quarantine session's local time under Wine: by the rules of its own
// date, so sessions on both sides of a daylight-saving change each show
// their own hour.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/main/quarantine_dialog.h"

namespace olvex {
namespace {

// Central European rules: UTC+1, UTC+2 from the last Sunday of March 02:00
// to the last Sunday of October 03:00.
TIME_ZONE_INFORMATION CentralEurope() {
    TIME_ZONE_INFORMATION zone{};
    zone.Bias = -60;
    zone.DaylightBias = -60;
    zone.StandardDate = {0, 10, 0, 5, 3, 0, 0, 0};
    zone.DaylightDate = {0, 3, 0, 5, 2, 0, 0, 0};
    return zone;
}

// Eastern North America without daylight time: UTC-5 all year.
TIME_ZONE_INFORMATION FixedWest() {
    TIME_ZONE_INFORMATION zone{};
    zone.Bias = 300;
    return zone;
}

TEST(QuarantineSessionTime, LocalTimeByTheRulesOfTheSessionsOwnDate) {
    struct Case {
        const char* name;
        TIME_ZONE_INFORMATION zone;
        SessionTime utc;
        int year, month, day, hour, minute;
    };
    const std::vector<Case> cases = {
        {"winter, before the change",
         CentralEurope(),
         {2026, 3, 28, 23, 30, 0},
         2026,
         3,
         29,
         0,
         30},
        {"summer, after the change", CentralEurope(), {2026, 3, 29, 1, 30, 0}, 2026, 3, 29, 3, 30},
        {"summer, before the change back",
         CentralEurope(),
         {2026, 10, 25, 0, 30, 0},
         2026,
         10,
         25,
         2,
         30},
        {"winter, after the change back",
         CentralEurope(),
         {2026, 10, 25, 1, 30, 0},
         2026,
         10,
         25,
         2,
         30},
        {"new year's eve east of Greenwich",
         CentralEurope(),
         {2026, 12, 31, 23, 30, 0},
         2027,
         1,
         1,
         0,
         30},
        {"new year's eve west of Greenwich",
         FixedWest(),
         {2026, 12, 31, 23, 30, 0},
         2026,
         12,
         31,
         18,
         30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto local = SessionLocalTime(c.utc, &c.zone);
        ASSERT_TRUE(local);
        EXPECT_EQ(local->wYear, c.year);
        EXPECT_EQ(local->wMonth, c.month);
        EXPECT_EQ(local->wDay, c.day);
        EXPECT_EQ(local->wHour, c.hour);
        EXPECT_EQ(local->wMinute, c.minute);
    }
    // The machine's own zone gives an answer too.
    EXPECT_TRUE(SessionLocalTime({2026, 7, 1, 12, 0, 0}));
}

}  // namespace
}  // namespace olvex
