#include "client/protect/scan_reminder.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

namespace olvex::protect {
namespace {

class UsLocale final : public LocaleInfo {
  public:
    std::string ShortDatePicture() const override { return "M/d/yyyy"; }
    std::string TimePicture() const override { return "h:mm:ss tt"; }
    std::string MonthName(int, bool) const override { return {}; }
    std::string DayName(int, bool) const override { return {}; }
    std::string AmMarker() const override { return "AM"; }
    std::string PmMarker() const override { return "PM"; }
};

std::time_t Local(int year, int month, int day, int hour, int minute, int second) {
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

TEST(ScanReminderTest, HistoryLineSplitsAtItsLastDash) {
    const struct {
        const char* line;
        const char* date;
        const char* time;
    } cases[] = {
        {"4/20/2006-5:17:34 PM", "4/20/2006", "5:17:34 PM"},
        {"2006-04-20-17:17:34\r\n", "2006-04-20", "17:17:34"},
        {"5:17:34 PM", "", "5:17:34 PM"},
        {"", "", ""},
        {"4/20/2006-", "4/20/2006", ""},
    };
    for (const auto& c : cases) {
        const HistoryDateTime parts = SplitAtLastDash(c.line);
        EXPECT_EQ(parts.date, c.date) << c.line;
        EXPECT_EQ(parts.time, c.time) << c.line;
    }
}

TEST(ScanReminderTest, HistoryTimesReadInTheLocaleWithAfternoonsRight) {
    const UsLocale locale;
    const struct {
        const char* line;
        std::time_t expected;
    } cases[] = {
        {"4/20/2006-5:17:34 PM", Local(2006, 4, 20, 17, 17, 34)},
        {"4/20/2006-5:17:34 AM\r\n", Local(2006, 4, 20, 5, 17, 34)},
        {"4/20/2006-12:05:00 AM", Local(2006, 4, 20, 0, 5, 0)},
        // No "-": all time, the date stays 1 January 2000.
        {"5:17:34 PM", Local(2000, 1, 1, 17, 17, 34)},
        {"", Local(2000, 1, 1, 0, 0, 0)},
    };
    for (const auto& c : cases) {
        const auto time = ScanTimeOfHistory(c.line, locale);
        ASSERT_TRUE(time) << c.line;
        EXPECT_EQ(*time, c.expected) << c.line;
    }
}

TEST(ScanReminderTest, SevenDaysThenDailyUntilANewerScan) {
    const std::time_t scan = Local(2024, 3, 1, 12, 0, 0);
    struct Step {
        const char* what;
        std::time_t now;
        std::time_t scan;
        bool due;
    };
    const std::vector<Step> steps = {
        {"a day after", scan + 86400, scan, false},
        {"exactly seven days", scan + 604800, scan, false},
        {"a second more", scan + 604801, scan, true},
        {"an hour after the reminder", scan + 604801 + 3600, scan, false},
        {"exactly a day after it", scan + 604801 + 86400, scan, false},
        {"a second more", scan + 604801 + 86401, scan, true},
        // A newer scan starts the seven days again.
        {"a newer scan", scan + 604801 + 86402, scan + 604801 + 86402 - 60, false},
        {"seven days after it", scan + 604801 + 86402 - 60 + 604801, scan + 604801 + 86402 - 60,
         true},
    };
    ScanReminder reminder;
    for (const Step& step : steps) {
        const auto due = reminder.Due(step.now, step.scan);
        EXPECT_EQ(due.has_value(), step.due) << step.what;
        if (due) {
            EXPECT_EQ(*due, std::difftime(step.now, step.scan)) << step.what;
            reminder.Shown(*due);
        }
    }
}

TEST(ScanReminderTest, HistoryIsReadOnlyOnceTheLastScanSeenIsOldEnough) {
    const std::time_t scan = Local(2024, 3, 1, 12, 0, 0);
    ScanReminder reminder;
    // Nothing seen yet (the program's start): read on every tick.
    EXPECT_TRUE(reminder.ShouldReadHistory(scan));
    EXPECT_FALSE(reminder.Due(scan + 10, scan));
    EXPECT_FALSE(reminder.ShouldReadHistory(scan + 604800));
    EXPECT_TRUE(reminder.ShouldReadHistory(scan + 604801));
}

}  // namespace
}  // namespace olvex::protect
