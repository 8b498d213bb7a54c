#include "client/protect/locale_date.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace olvex::protect {
namespace {

// A locale as GetLocaleInfo would describe it.
class FakeLocale final : public LocaleInfo {
  public:
    FakeLocale(std::string date, std::string time, bool german = false, std::string am = "AM",
               std::string pm = "PM")
        : date_(std::move(date)),
          time_(std::move(time)),
          german_(german),
          am_(std::move(am)),
          pm_(std::move(pm)) {}
    std::string ShortDatePicture() const override { return date_; }
    std::string TimePicture() const override { return time_; }
    std::string MonthName(int month, bool abbreviated) const override {
        static const std::array<const char*, 12> english = {
            "January", "February", "March",     "April",   "May",      "June",
            "July",    "August",   "September", "October", "November", "December"};
        static const std::array<const char*, 12> german = {
            "Januar", "Februar", "März",      "April",   "Mai",      "Juni",
            "Juli",   "August",  "September", "Oktober", "November", "Dezember"};
        const std::string name = (german_ ? german : english)[month - 1];
        return abbreviated ? name.substr(0, 3) : name;
    }
    std::string DayName(int day, bool abbreviated) const override {
        static const std::array<const char*, 7> english = {
            "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};
        const std::string name = english[day - 1];
        return abbreviated ? name.substr(0, 3) : name;
    }
    std::string AmMarker() const override { return am_; }
    std::string PmMarker() const override { return pm_; }

  private:
    std::string date_;
    std::string time_;
    bool german_;
    std::string am_;
    std::string pm_;
};

struct DateCase {
    const char* name;
    std::string picture;
    std::string text;
    int year, month, day, day_of_week;
};

TEST(LocaleDateTest, DatesReadInTheLocalesPictures) {
    const std::vector<DateCase> cases = {
        {"US", "M/d/yyyy", "4/20/2006", 2006, 4, 20, 0},
        {"German short year", "dd.MM.yy", "20.04.06", 2006, 4, 20, 0},
        {"two-character separator", "d. M. yyyy", "20. 4. 2006", 2006, 4, 20, 0},
        {"ISO-like", "yyyy-MM-dd", "2006-04-20", 2006, 4, 20, 0},
        {"quoted literal", "d 'de' M 'de' yyyy", "20 de 4 de 2006", 2006, 4, 20, 0},
        {"quoted quote", "d''M''yyyy", "20'4'2006", 2006, 4, 20, 0},
        {"no separators", "yyyyMMdd", "20060420", 2006, 4, 20, 0},
        {"short month name", "dd-MMM-yy", "20-Apr-06", 2006, 4, 20, 0},
        {"long month name", "MMMM d, yyyy", "April 20, 2006", 2006, 4, 20, 0},
        {"unknown month name", "dd-MMM-yyyy", "20-Foo-2006", 2006, 1, 20, 0},
        {"day name after the day keeps the day", "d/M/yyyy ddd", "20/4/2006 Thu", 2006, 4, 20, 4},
        {"long day name first", "dddd, M/d/yyyy", "Sunday, 4/23/2006", 2006, 4, 23, 7},
        {"unknown day name", "ddd d.M.yyyy", "Xyz 20.4.2006", 2006, 4, 20, 0},
        {"empty text", "M/d/yyyy", "", 2000, 1, 1, 0},
        {"fewer parts than the picture", "M/d/yyyy", "4/20", 2000, 4, 20, 0},
        {"extra parts ignored", "M/d/yyyy", "4/20/2006/7/8", 2006, 4, 20, 0},
        {"three-letter year changes nothing", "d.M.yyy", "1.2.333", 2000, 2, 1, 0},
        {"leading blanks in numbers", "M/d/yyyy", " 4/ 20/ 2006", 2006, 4, 20, 0},
        {"text with another separator", "dd.MM.yy", "20/04/06", 2000, 1, 20, 0},
        {"huge numbers stay within 16 bits", "M/d/yyyy", "4/99999999/2006", 2006, 4, 65535, 0},
        {"empty picture", "", "4/20/2006", 2000, 1, 1, 0},
    };
    for (const auto& c : cases) {
        const FakeLocale locale(c.picture, "H:mm");
        DateTimeFields fields;
        ParseLocaleDate(c.text, locale, fields);
        EXPECT_EQ(fields.year, c.year) << c.name;
        EXPECT_EQ(fields.month, c.month) << c.name;
        EXPECT_EQ(fields.day, c.day) << c.name;
        EXPECT_EQ(fields.day_of_week, c.day_of_week) << c.name;
        EXPECT_EQ(fields.hour, 0) << c.name << ": the time fields are not the date's";
    }
}

struct TimeCase {
    const char* name;
    std::string picture;
    std::string text;
    int hour, minute, second;
    std::string am = "AM";
    std::string pm = "PM";
};

TEST(LocaleDateTest, TimesReadInTheLocalesPictureWithTheMarker) {
    const std::vector<TimeCase> cases = {
        {"US PM", "h:mm:ss tt", "5:17:34 PM", 17, 17, 34},
        {"US AM", "h:mm:ss tt", "5:17:34 AM", 5, 17, 34},
        {"12 AM is midnight", "h:mm:ss tt", "12:05:00 AM", 0, 5, 0},
        {"12 PM is noon", "h:mm:ss tt", "12:05:00 PM", 12, 5, 0},
        {"German 24-hour", "HH:mm:ss", "17:05:09", 17, 5, 9},
        {"marker first", "tt h:mm:ss", "PM 3:04:05", 15, 4, 5},
        {"one-letter marker", "h:mm t", "3:04 P", 15, 4, 0},
        {"locale markers", "h:mm:ss tt", "3:04:05 nachm.", 15, 4, 5, "vorm.", "nachm."},
        {"unknown marker reads as written", "h:mm:ss tt", "3:04:05 XM", 3, 4, 5},
        {"24-hour field ignores a marker", "HH:mm tt", "03:04 PM", 3, 4, 0},
        {"no markers in the locale", "h:mm:ss tt", "3:04:05 ", 3, 4, 5, "", ""},
        {"multi-character separators", "H' h 'mm' min'", "17 h 05 min", 17, 5, 0},
        {"quoted literal", "H'h'mm", "17h05", 17, 5, 0},
        {"no separators", "HHmmss", "170509", 17, 5, 9},
        {"empty text is midnight", "h:mm:ss tt", "", 0, 0, 0},
        {"fewer parts", "HH:mm:ss", "17", 17, 0, 0},
        {"a 24-hour text under a 12-hour picture", "h:mm:ss tt", "17:05:00", 17, 5, 0},
    };
    for (const auto& c : cases) {
        const FakeLocale locale("M/d/yyyy", c.picture, false, c.am, c.pm);
        DateTimeFields fields;
        ParseLocaleTime(c.text, locale, fields);
        EXPECT_EQ(fields.hour, c.hour) << c.name;
        EXPECT_EQ(fields.minute, c.minute) << c.name;
        EXPECT_EQ(fields.second, c.second) << c.name;
        EXPECT_EQ(fields.year, 0) << c.name << ": the date fields are not the time's";
    }
}

TEST(LocaleDateTest, NamesMatchExactlyOrFallBack) {
    const FakeLocale english("M/d/yyyy", "H:mm");
    const FakeLocale german("dd.MM.yy", "HH:mm", true);
    EXPECT_EQ(MonthFromShortName("Dec", english), 12);
    EXPECT_EQ(MonthFromLongName("März", german), 3);
    EXPECT_EQ(MonthFromLongName("march", english), 1) << "case matters; unknown gives 1";
    EXPECT_EQ(MonthFromShortName("", english), 1);
    EXPECT_EQ(DayOfWeekFromShortName("Sun", english), 7);
    EXPECT_EQ(DayOfWeekFromLongName("Monday", english), 1);
    EXPECT_EQ(DayOfWeekFromLongName("Mon", english), 0);
}

TEST(LocaleDateTest, LeadingNumberReadsAsAtoiWithinSixteenBits) {
    EXPECT_EQ(LeadingNumber("42abc"), 42);
    EXPECT_EQ(LeadingNumber("  +7"), 7);
    EXPECT_EQ(LeadingNumber("-7"), 0);
    EXPECT_EQ(LeadingNumber("x1"), 0);
    EXPECT_EQ(LeadingNumber(""), 0);
    EXPECT_EQ(LeadingNumber("123456789012"), 65535);
}

}  // namespace
}  // namespace olvex::protect
