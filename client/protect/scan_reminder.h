// When the scan reminder shows. The scan history's first line holds the
// date and time of the newest scan, written in the user's locale and joined
// by "-"; no reminder comes until seven days (strictly more than 604800
// seconds) after that scan, then one a day until the history holds a newer
// scan, which starts the seven days again. The state lives for one run of
// the program.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "client/protect/locale_date.h"

namespace olvex::protect {

inline constexpr double kReminderIntervalSeconds = 604800.0;
inline constexpr double kReminderStepSeconds = 86400.0;

struct HistoryDateTime {
    std::string_view date;
    std::string_view time;
};

// The line split at its last "-": the date before it, the time after it. A
// line without one is all time and no date. A line end is not part of the
// time.
HistoryDateTime SplitAtLastDash(std::string_view line);

// The history's first line as a local time value (seconds since 1970);
// fields the line leaves out keep their defaults (1 January 2000,
// midnight). nullopt when the fields make no time.
std::optional<std::time_t> ScanTimeOfHistory(std::string_view first_line, const LocaleInfo& locale);

class ScanReminder {
  public:
    // Whether the history is worth reading on this tick: the last scan seen
    // is older than the interval.
    bool ShouldReadHistory(std::time_t now) const;

    // With the history's scan time: the seconds since that scan when a
    // reminder is due now, else nullopt. A newer scan than the last one seen
    // starts the seven days again.
    std::optional<double> Due(std::time_t now, std::time_t scan_time);

    // A reminder was shown seconds after the scan: the next one comes a step
    // later.
    void Shown(double seconds_since_scan);

    double interval() const { return interval_; }
    std::time_t last_scan_time() const { return last_scan_time_; }

  private:
    double interval_ = kReminderIntervalSeconds;
    double step_ = kReminderStepSeconds;
    std::time_t last_scan_time_ = 0;
};

}  // namespace olvex::protect
