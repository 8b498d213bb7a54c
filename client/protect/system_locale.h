// The user's locale as the date reading (locale_date.h) sees it: the
// pictures, names and markers GetLocaleInfoA gives for LOCALE_USER_DEFAULT,
// overrides of the user's International settings included.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "client/protect/locale_date.h"

namespace olvex::protect {

class SystemLocaleInfo final : public LocaleInfo {
  public:
    std::string ShortDatePicture() const override;
    std::string TimePicture() const override;
    std::string MonthName(int month, bool abbreviated) const override;
    std::string DayName(int day, bool abbreviated) const override;
    std::string AmMarker() const override;
    std::string PmMarker() const override;
};

// The record as a system time (milliseconds 0); nullopt when its fields are
// out of range for one.
std::optional<SYSTEMTIME> SystemTimeOf(const DateTimeFields& fields);

}  // namespace olvex::protect
