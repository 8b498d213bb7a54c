// The log viewers' list: one row per activity log entry, the entry's index
// as the row's data, so that a sort by any column reads the entries back.
#pragma once

#include <span>

#include "client/common/activity_log.h"
#include "client/common/log_entry_order.h"
#include "client/common/ui/controls.h"

namespace olvex::ui {

// Replaces the list's rows with the entries, in their order.
void FillLogList(const ListView& list, std::span<const ActivityLogEntry> entries);

// Sorts rows made by FillLogList by a column, texts by the given collation.
void SortLogList(const ListView& list, std::span<const ActivityLogEntry> entries, int column,
                 const TextCollation& collate);

}  // namespace olvex::ui
