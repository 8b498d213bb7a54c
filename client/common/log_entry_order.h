// The log viewers' sort order (`CompareLogEntries`): the Date
// column and any unknown column by the entries' times, earliest first,
// whatever their date texts say; the other columns by their texts in the
// user's collation.
#pragma once

#include <functional>
#include <string_view>

#include "client/common/activity_log.h"

namespace olvex {

// The viewer's columns.
enum LogColumn : int {
    kDateColumn = 0,
    kActionColumn = 1,
    kPestNameColumn = 2,
    kCategoryColumn = 3,
    kLocationColumn = 4,
};

// Negative, zero or positive as a sorts before, with or after b.
using TextCollation = std::function<int(std::string_view a, std::string_view b)>;

int CompareLogEntries(const ActivityLogEntry& a, const ActivityLogEntry& b, int column,
                      const TextCollation& collate);

}  // namespace olvex
