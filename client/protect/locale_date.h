// Reading back a date and a time that GetDateFormat and GetTimeFormat wrote
// in the user's locale (the scan history's first line). The pictures, the
// month and day names and the AM/PM markers come through LocaleInfo, so the
// reading is checked natively against any locale.
//
// A picture is read as fields (runs of one letter: d, M, y, g in dates; h,
// H, m, s, t in times) and the literal text between them (separators of one
// or more characters, quoted text, anything else). Each field's value in the
// text runs up to the next literal (searched as a whole), and that literal is
// skipped whole; a field at the end takes the rest, and a field followed
// directly by another takes only its digits (or, for names, its letters).
// A text that ends early leaves the remaining fields as they were; nothing is
// read past the text's end.
#pragma once

#include <string>
#include <string_view>

namespace olvex::protect {

class LocaleInfo {
  public:
    virtual ~LocaleInfo() = default;
    virtual std::string ShortDatePicture() const = 0;  // LOCALE_SSHORTDATE
    virtual std::string TimePicture() const = 0;       // LOCALE_STIMEFORMAT
    // month 1 to 12; abbreviated or full
    virtual std::string MonthName(int month, bool abbreviated) const = 0;
    // day 1 (Monday) to 7 (Sunday)
    virtual std::string DayName(int day, bool abbreviated) const = 0;
    virtual std::string AmMarker() const = 0;  // LOCALE_S1159
    virtual std::string PmMarker() const = 0;  // LOCALE_S2359
};

// The fields of a system time record; the caller starts from all zeros.
struct DateTimeFields {
    int year = 0;
    int month = 0;
    int day_of_week = 0;  // 1 Monday .. 7 Sunday, 0 unknown
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    bool operator==(const DateTimeFields&) const = default;
};

// Year, month, day of week and day from a date text in the short date
// picture; 1 January 2000 (day of week 0) where the text says nothing. A day
// name sets the day of week and leaves the day as the text's number gives it.
void ParseLocaleDate(std::string_view text, const LocaleInfo& locale, DateTimeFields& fields);

// Hour, minute and second from a time text in the time picture; 0 where the
// text says nothing. With a 12-hour field (h) the AM/PM marker counts: the PM
// marker adds 12 to hours 1 to 11, and 12 with the AM marker is hour 0.
void ParseLocaleTime(std::string_view text, const LocaleInfo& locale, DateTimeFields& fields);

// 1 to 12 for a month name written exactly as the locale writes it; 1 when
// none matches.
int MonthFromShortName(std::string_view name, const LocaleInfo& locale);
int MonthFromLongName(std::string_view name, const LocaleInfo& locale);
// 1 (Monday) to 7 (Sunday); 0 when none matches.
int DayOfWeekFromShortName(std::string_view name, const LocaleInfo& locale);
int DayOfWeekFromLongName(std::string_view name, const LocaleInfo& locale);

// The number at the start of a value as atoi reads it (leading blanks, a
// sign, digits), kept within 0 to 65535 as the record's 16-bit fields are.
int LeadingNumber(std::string_view value);

}  // namespace olvex::protect
