#include "client/main/log_rows.h"

#include <algorithm>
#include <numeric>

namespace olvex {

LogRows::LogRows(std::vector<ActivityLogEntry> entries)
    : entries_(std::move(entries)), order_(entries_.size()) {
    std::iota(order_.begin(), order_.end(), std::uint32_t{0});
}

const std::string& LogRows::Cell(std::size_t row, int column) const {
    static const std::string none;
    const ActivityLogEntry& entry = Row(row);
    switch (column) {
        case kDateColumn:
            return entry.date_time;
        case kActionColumn:
            return entry.action;
        case kPestNameColumn:
            return entry.pest_name;
        case kCategoryColumn:
            return entry.category;
        case kLocationColumn:
            return entry.location;
        default:
            return none;
    }
}

void LogRows::SortBy(int column, const TextCollation& collate) {
    std::stable_sort(order_.begin(), order_.end(), [&](std::uint32_t a, std::uint32_t b) {
        return CompareLogEntries(entries_[a], entries_[b], column, collate) < 0;
    });
}

}  // namespace olvex
