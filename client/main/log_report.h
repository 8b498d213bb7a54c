// The Log dialog's saved report, apart from its windows: every entry of the
// log in the log's own order (whatever order the list shows), its fields
// joined by " , " and written as they are.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "client/common/activity_log.h"

namespace olvex {

// The report's text with "\n" line ends (written in text mode: CR LF on
// disk): title, the date line and an empty line, one line per entry (date,
// action, pest name, category, location, PVT number), the end line.
std::string FormatLogReport(std::span<const ActivityLogEntry> entries,
                            std::string_view generated_on);

}  // namespace olvex
