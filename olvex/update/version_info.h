// The version questions the version information object answers, apart from
// reading a program's version resource: whether a downloaded file is an
// acceptable definition file, the definitions' time stamp and the composite
// version.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace olvex {

// Whether a downloaded file may be used. Judged by its name (lower-cased,
// the part after the last "\" or "/"): a name without ".dat" is fine, and so
// are the language file ("langv5"), "lfinfo.dat", "excluded.dat" and
// "qzsrindex.dat"; any other ".dat" file must begin with the definition block
// magic. A file that cannot be opened or read is not valid.
bool IsDatFileValid(const std::string& path);

enum class TimeStampError { kNone, kCannotOpen, kNoBlock };

struct DefinitionTimeStamp {
    TimeStampError error = TimeStampError::kNone;
    std::uint64_t block_time = 0;  // FILETIME of the file's last block
};

// Walks the block headers of a definition file ("qzinfo.dat") and gives the
// block time of the last whole header.
DefinitionTimeStamp ReadDefinitionTimeStamp(const std::string& path);

// Four 16-bit sums joined by dots: the engine's version parts plus the
// cleaner's version parts plus the year, month, day and hour of the
// definitions' time stamp (UTC, as stored). Versions are read like
// "%d.%d.%d.%d" (missing parts 0, "Unknown" 0.0.0.0). A time stamp that is
// not a valid time counts as 1601-01-01 00:00.
std::string CompositeVersion(std::string_view engine_version, std::string_view cleaner_version,
                             std::uint64_t definitions_time);

}  // namespace olvex
