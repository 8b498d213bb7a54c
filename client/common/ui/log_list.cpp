#include "client/common/ui/log_list.h"

#include "client/common/ui/ansi_text.h"

namespace olvex::ui {

void FillLogList(const ListView& list, std::span<const ActivityLogEntry> entries) {
    list.DeleteAll();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const ActivityLogEntry& entry = entries[i];
        const int row =
            list.Insert(static_cast<int>(i), FromAnsi(entry.date_time), static_cast<LPARAM>(i));
        if (row < 0)
            continue;
        list.SetSubItem(row, kActionColumn, FromAnsi(entry.action));
        list.SetSubItem(row, kPestNameColumn, FromAnsi(entry.pest_name));
        list.SetSubItem(row, kCategoryColumn, FromAnsi(entry.category));
        list.SetSubItem(row, kLocationColumn, FromAnsi(entry.location));
    }
}

void SortLogList(const ListView& list, std::span<const ActivityLogEntry> entries, int column,
                 const TextCollation& collate) {
    list.Sort([&](LPARAM a, LPARAM b) {
        const auto first = static_cast<std::size_t>(a);
        const auto second = static_cast<std::size_t>(b);
        if (first >= entries.size() || second >= entries.size())
            return 0;
        return CompareLogEntries(entries[first], entries[second], column, collate);
    });
}

}  // namespace olvex::ui
