// The Log dialog's rows, apart from its windows. The list view asks for the
// text of each row it draws (a virtual list), so opening a large log costs
// no work per row: the rows are an order over the entries, and sorting
// sorts that order, never the entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <span>
#include <string_view>
#include <vector>

#include "client/common/activity_log.h"
#include "client/common/log_entry_order.h"

namespace olvex {

class LogRows {
  public:
    LogRows() = default;
    explicit LogRows(std::vector<ActivityLogEntry> entries);

    std::size_t size() const { return order_.size(); }
    // The entries in the log's own order, whatever order the rows show.
    std::span<const ActivityLogEntry> entries() const { return entries_; }
    // The entry a row shows; row < size().
    const ActivityLogEntry& Row(std::size_t row) const { return entries_[order_[row]]; }
    // A row's text in one of the five columns (LogColumn); an unknown column
    // has none.
    const std::string& Cell(std::size_t row, int column) const;

    // The list's type-ahead: the first row from start on (wrapping round to
    // the top) whose date text begins with the typed text (case ignored), or
    // with exact set equals it; nullopt when none does.
    std::optional<std::size_t> FindRow(std::string_view typed, std::size_t start, bool exact) const;

    // Ascending by the column (CompareLogEntries); rows that compare equal
    // keep their order, so the same click twice gives the same rows.
    void SortBy(int column, const TextCollation& collate);

  private:
    std::vector<ActivityLogEntry> entries_;
    std::vector<std::uint32_t> order_;
};

}  // namespace olvex
