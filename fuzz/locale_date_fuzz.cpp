// The scan history's date and time read back from hostile text and hostile
// locale pictures: the input is the date picture, the date text, the time
// picture and the time text, separated by NUL bytes (missing parts are
// empty). Nothing is read past the text, every field stays within the
// record's 16 bits, and a text the locale wrote itself reads back exactly.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "client/protect/locale_date.h"

namespace {

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

class FuzzLocale final : public olvex::protect::LocaleInfo {
  public:
    FuzzLocale(std::string date, std::string time)
        : date_(std::move(date)), time_(std::move(time)) {}
    std::string ShortDatePicture() const override { return date_; }
    std::string TimePicture() const override { return time_; }
    std::string MonthName(int month, bool abbreviated) const override {
        static const char* const names[] = {"January",   "February", "March",    "April",
                                            "May",       "June",     "July",     "August",
                                            "September", "October",  "November", "December"};
        const std::string name = names[month - 1];
        return abbreviated ? name.substr(0, 3) : name;
    }
    std::string DayName(int day, bool abbreviated) const override {
        static const char* const names[] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                            "Friday", "Saturday", "Sunday"};
        const std::string name = names[day - 1];
        return abbreviated ? name.substr(0, 3) : name;
    }
    std::string AmMarker() const override { return "AM"; }
    std::string PmMarker() const override { return "PM"; }

  private:
    std::string date_;
    std::string time_;
};

bool InRange(int value) {
    return value >= 0 && value <= 65535;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (parts.size() < 3) {
        const std::size_t end = input.find('\0', start);
        if (end == std::string_view::npos)
            break;
        parts.push_back(input.substr(start, end - start));
        start = end + 1;
    }
    parts.push_back(input.substr(std::min(start, input.size())));
    parts.resize(4);
    // Copies of exactly their length, so that a read past them is caught.
    const std::vector<char> date_text(parts[1].begin(), parts[1].end());
    const std::vector<char> time_text(parts[3].begin(), parts[3].end());
    const FuzzLocale locale{std::string(parts[0]), std::string(parts[2])};

    olvex::protect::DateTimeFields fields;
    olvex::protect::ParseLocaleDate(std::string_view(date_text.data(), date_text.size()), locale,
                                    fields);
    olvex::protect::ParseLocaleTime(std::string_view(time_text.data(), time_text.size()), locale,
                                    fields);
    Check(InRange(fields.year) && InRange(fields.month) && InRange(fields.day) &&
          InRange(fields.hour) && InRange(fields.minute) && InRange(fields.second));
    Check(fields.day_of_week >= 0 && fields.day_of_week <= 7);

    // A fixed picture and a text written in it read back exactly.
    const FuzzLocale us{"M/d/yyyy", "h:mm:ss tt"};
    const unsigned seed = size == 0 ? 0 : data[0];
    const int month = 1 + seed % 12;
    const int day = 1 + seed % 28;
    const int hour = seed % 24;
    const std::string written_date =
        std::to_string(month) + "/" + std::to_string(day) + "/" + std::to_string(2000 + seed);
    const std::string written_time =
        std::to_string(hour % 12 == 0 ? 12 : hour % 12) + ":05:09 " + (hour < 12 ? "AM" : "PM");
    olvex::protect::DateTimeFields read;
    olvex::protect::ParseLocaleDate(written_date, us, read);
    olvex::protect::ParseLocaleTime(written_time, us, read);
    Check(read.year == 2000 + static_cast<int>(seed) && read.month == month && read.day == day &&
          read.hour == hour && read.minute == 5 && read.second == 9);
    return 0;
}
