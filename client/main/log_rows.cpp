#include "client/main/log_rows.h"

#include <algorithm>
#include <cctype>
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

namespace {

bool SameLetters(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

std::optional<std::size_t> LogRows::FindRow(std::string_view typed, std::size_t start,
                                            bool exact) const {
    const std::size_t count = size();
    for (std::size_t step = 0; step < count; ++step) {
        const std::size_t row = (start + step) % count;
        const std::string_view date = Row(row).date_time;
        if (exact ? SameLetters(date, typed)
                  : date.size() >= typed.size() && SameLetters(date.substr(0, typed.size()), typed))
            return row;
    }
    return std::nullopt;
}

void LogRows::SortBy(int column, const TextCollation& collate) {
    std::stable_sort(order_.begin(), order_.end(), [&](std::uint32_t a, std::uint32_t b) {
        return CompareLogEntries(entries_[a], entries_[b], column, collate) < 0;
    });
}

}  // namespace olvex
