#include "client/protect/scan_reminder.h"

namespace olvex::protect {

HistoryDateTime SplitAtLastDash(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    const std::size_t dash = line.rfind('-');
    if (dash == std::string_view::npos)
        return {{}, line};
    return {line.substr(0, dash), line.substr(dash + 1)};
}

std::optional<std::time_t> ScanTimeOfHistory(std::string_view first_line,
                                             const LocaleInfo& locale) {
    const HistoryDateTime parts = SplitAtLastDash(first_line);
    DateTimeFields fields;
    ParseLocaleDate(parts.date, locale, fields);
    ParseLocaleTime(parts.time, locale, fields);
    std::tm local{};
    local.tm_year = fields.year - 1900;
    local.tm_mon = fields.month - 1;
    local.tm_mday = fields.day;  // 0 is the last day of the month before
    local.tm_hour = fields.hour;
    local.tm_min = fields.minute;
    local.tm_sec = fields.second;
    local.tm_isdst = -1;  // the system decides on daylight saving
    const std::time_t time = std::mktime(&local);
    if (time == static_cast<std::time_t>(-1))
        return std::nullopt;
    return time;
}

bool ScanReminder::ShouldReadHistory(std::time_t now) const {
    return std::difftime(now, last_scan_time_) > interval_;
}

std::optional<double> ScanReminder::Due(std::time_t now, std::time_t scan_time) {
    if (scan_time != last_scan_time_) {
        interval_ = kReminderIntervalSeconds;
        last_scan_time_ = scan_time;
    }
    const double since = std::difftime(now, scan_time);
    if (since > interval_)
        return since;
    return std::nullopt;
}

void ScanReminder::Shown(double seconds_since_scan) {
    interval_ = seconds_since_scan + step_;
}

}  // namespace olvex::protect
