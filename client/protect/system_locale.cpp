#include "client/protect/system_locale.h"

namespace olvex::protect {
namespace {

std::string LocaleText(LCTYPE type) {
    char text[80] = {};
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, type, text, sizeof(text)) == 0)
        return {};
    return text;
}

WORD Field(int value) {
    return static_cast<WORD>(value < 0 ? 0 : (value > 0xFFFF ? 0xFFFF : value));
}

}  // namespace

std::string SystemLocaleInfo::ShortDatePicture() const {
    return LocaleText(LOCALE_SSHORTDATE);
}

std::string SystemLocaleInfo::TimePicture() const {
    return LocaleText(LOCALE_STIMEFORMAT);
}

std::string SystemLocaleInfo::MonthName(int month, bool abbreviated) const {
    if (month < 1 || month > 12)
        return {};
    const LCTYPE first = abbreviated ? LOCALE_SABBREVMONTHNAME1 : LOCALE_SMONTHNAME1;
    return LocaleText(first + static_cast<LCTYPE>(month - 1));
}

std::string SystemLocaleInfo::DayName(int day, bool abbreviated) const {
    if (day < 1 || day > 7)
        return {};
    const LCTYPE first = abbreviated ? LOCALE_SABBREVDAYNAME1 : LOCALE_SDAYNAME1;
    return LocaleText(first + static_cast<LCTYPE>(day - 1));
}

std::string SystemLocaleInfo::AmMarker() const {
    return LocaleText(LOCALE_S1159);
}

std::string SystemLocaleInfo::PmMarker() const {
    return LocaleText(LOCALE_S2359);
}

std::optional<SYSTEMTIME> SystemTimeOf(const DateTimeFields& fields) {
    SYSTEMTIME time{};
    time.wYear = Field(fields.year);
    time.wMonth = Field(fields.month);
    time.wDayOfWeek = Field(fields.day_of_week == 7 ? 0 : fields.day_of_week);
    time.wDay = Field(fields.day);
    time.wHour = Field(fields.hour);
    time.wMinute = Field(fields.minute);
    time.wSecond = Field(fields.second);
    FILETIME check{};
    if (!SystemTimeToFileTime(&time, &check))
        return std::nullopt;
    return time;
}

}  // namespace olvex::protect
