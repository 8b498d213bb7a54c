#include "client/common/log_entry_order.h"

#include "client/common/ui/sort_order.h"

namespace olvex {

int CompareLogEntries(const ActivityLogEntry& a, const ActivityLogEntry& b, int column,
                      const TextCollation& collate) {
    switch (column) {
        case kActionColumn:
            return collate(a.action, b.action);
        case kPestNameColumn:
            return collate(a.pest_name, b.pest_name);
        case kCategoryColumn:
            return collate(a.category, b.category);
        case kLocationColumn:
            return collate(a.location, b.location);
        default:
            return ui::CompareFileTimes(a.time, b.time);
    }
}

}  // namespace olvex
