// The client programs' shared activity log "QZv5Log.txt": one line per thing
// that happened to a pest, nine fields each followed by a comma, CR LF at the
// end:
//   date-time text, time high, time low, action, pest name, category,
//   pest id, location, PVT,
// The two time fields are the halves of the FILETIME of the local time, as
// signed decimals. Older lines lack the two time fields and the PVT.
//
// A text field holding a comma is written in double quotes with its quotes
// doubled, so it cannot shift the fields of its line; so is one that begins
// with a double quote, which would otherwise read as the start of a quoted
// field. Every other field is written bare, exactly as older versions wrote
// every field (a location's own double quotes stay as they are), and the
// reader takes both forms. Line breaks inside a field are written as blanks:
// a line is always one entry.
//
// This layer formats and parses; the shared file's mutex, retries and locking
// belong to the program's file layer. Appends are whole lines in one write,
// each beginning a line of its own; a failed one leaves nothing behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "olvex/core/file_io.h"

namespace olvex {

inline constexpr std::string_view kActivityLogFileName = "QZv5Log.txt";
// Shortening: a log above 5 MiB is cut, oldest lines first, to 2 MiB at most.
inline constexpr std::uint64_t kActivityLogTruncateAbove = 0x500000;
inline constexpr std::uint64_t kActivityLogTruncateTo = 0x200000;
// The largest log that is read at all (only reached when shortening is off).
inline constexpr std::uint64_t kMaxActivityLogBytes = 64 * 1024 * 1024;

struct ActivityLogEntry {
    std::string date_time;   // local short date, "-", local time, as the user formats them
    std::uint64_t time = 0;  // FILETIME of the same local time
    std::string action;      // "Detected", "Excluded", ...
    std::string pest_name;
    std::string category;
    std::int32_t pest_id = -1;
    std::string location;
    std::int32_t pvt = -1;  // -1: none
    bool operator==(const ActivityLogEntry&) const = default;
};

// One line with its CR LF.
std::string FormatActivityLogLine(const ActivityLogEntry& entry);
// The lines of all entries in one buffer, for one append.
std::string FormatActivityLogLines(std::span<const ActivityLogEntry> entries);

// Parses one line (without its line end). Older lines, whose second field does
// not begin with a digit, take their time from the date-time text read as
// year/day/month-hour:minute:second; the milliseconds come from
// legacy_milliseconds, which counts 0..999 over all such lines so that equal
// times stay distinct. A date that is no date gives time 0. Nullopt for a line
// that ends before the location's comma (a cut or foreign line).
std::optional<ActivityLogEntry> ParseActivityLogLine(std::string_view line,
                                                     int& legacy_milliseconds);

// The non-empty lines of a log text, without their line ends (LF or CR LF);
// a last line without a line end is included.
std::vector<std::string_view> SplitActivityLogLines(std::string_view text);

struct ActivityLogContents {
    std::vector<ActivityLogEntry> entries;  // oldest first
    std::size_t skipped_lines = 0;          // lines that were no entry
};
ActivityLogContents ParseActivityLog(std::string_view text, int& legacy_milliseconds);

// How many of the oldest lines shortening drops. Each line counts as written
// back (its text and CR LF): with truncate set and more than
// kActivityLogTruncateAbove bytes, lines are dropped from the front until at
// most kActivityLogTruncateTo bytes remain; otherwise none.
std::size_t ActivityLogLinesToDrop(std::span<const std::string_view> lines, bool truncate);

// The text a log is rewritten with: its lines, each with CR LF, less those
// ActivityLogLinesToDrop drops. Lines that are no entry are kept as they are.
std::string TruncateActivityLog(std::string_view text, bool truncate);

// Appends formatted lines to the log in one write (AppendLinesToFile): they
// begin on a line of their own even after a last line without its line end,
// and a write that fails or falls short is cut off again, so the log never
// keeps a torn line.
FileError AppendActivityLogLines(const std::string& path, std::string_view lines);

struct ActivityLogRead {
    FileError error = FileError::kNone;
    ActivityLogContents contents;
    explicit operator bool() const { return error == FileError::kNone; }
};
// Reads the whole log. A missing log is an empty one; a log that exists but
// cannot be opened (another process holds it) is kReadFailed, never empty.
ActivityLogRead ReadActivityLog(const std::string& path, int& legacy_milliseconds);

}  // namespace olvex
