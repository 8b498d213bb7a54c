// Lines the engine writes to its own log by itself: what went wrong where no
// caller would otherwise learn of it (a removal that failed, a database that
// had to be repaired). They go to "<base folder>\Logs\qzv5log.log", the file
// an olvex.Logger initialised with the same base folder keeps, stamped the
// way the logger stamps its entries.
#pragma once

#include <string>
#include <string_view>

#include "olvex/core/engine_log.h"

namespace olvex {

// The date, time and user name as the logger stamps them now.
LogStamps CurrentLogStamps();

// Appends one entry (an attribute/value text) to the log of the base folder;
// an empty base folder means the engine module's folder, as for the logger.
// The "Logs" folder is made when missing. False when nothing was written.
bool WriteEngineLogEntry(const std::string& base_folder, std::string_view entry_text);

}  // namespace olvex
