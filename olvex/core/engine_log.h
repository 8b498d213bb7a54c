// The engine log "Logs\qzv5log.log": plain text in the ANSI code page, one
// entry per line, each line an entry's attribute/value text followed by CR
// LF. Every entry carries an EntryId one above the highest in the log at the
// moment it was written, so ids never repeat, also when several processes
// write at once: writers take turns on the file (LockedFile) from reading the
// highest id to appending their line.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "olvex/core/multibyte_text.h"

namespace olvex {

inline constexpr std::string_view kLogFolderName = "Logs";
inline constexpr std::string_view kLogFileName = "qzv5log.log";

// Attributes that the logger stamps on every entry it writes.
inline constexpr std::string_view kLogEntryId = "EntryId";
inline constexpr std::string_view kLogDate = "Date";
inline constexpr std::string_view kLogTime = "Time";
inline constexpr std::string_view kLogUserName = "UserName";

// The entry texts of a log's content, in file order, as the logger reads
// them back: blank lines and an unfinished last line are left out, lines are
// trimmed.
std::vector<std::string> ReadLogLines(std::string_view content);

// The highest EntryId in the log (read as atoi reads it), 0 when none is
// higher.
std::int64_t HighestLogEntryId(std::string_view content, const MultiByteText& mb);

// The line the file holds for an entry text: the text and CR LF. nullopt for
// a text that would not stay one line (a CR, LF or NUL in it) or that is
// empty.
std::optional<std::string> FormatLogLine(std::string_view entry_text);

enum class LogAppendResult {
    kAppended,
    kOpenFailed,   // the log cannot be opened or created
    kReadFailed,   // the log cannot be read to find the next id
    kRefused,      // the entry gave no text that can be one line
    kWriteFailed,  // the line could not be appended
};

// Makes the text of the entry that gets this id; nullopt gives up.
using LogEntryComposer = std::function<std::optional<std::string>(std::int64_t entry_id)>;

// What a writer remembers of the log after its last append, so that the next
// one reads only what was appended since instead of the whole log. The log
// only grows, except when it is cleared; the last bytes seen tell a log that
// grew from one that was cleared and written again.
struct LogPosition {
    std::uint64_t size = 0;
    std::int64_t highest_id = 0;
    std::string tail;
};

// Appends one entry to the log at path (created when missing), as one of any
// number of writers in this and other processes: under the file's lock it
// reads the log, asks compose for the entry with the next id, and appends its
// line in one write. A line left unfinished by a writer that died is ended
// first, so the new line stays whole. With a position, only what was appended
// since that position is read (when the log still holds it), and the
// position is moved past the new line.
LogAppendResult AppendLogEntry(const std::string& path, const MultiByteText& mb,
                               const LogEntryComposer& compose, LogPosition* position = nullptr);

// Empties the log at path (creating it when missing), in turn with writers.
bool ClearLog(const std::string& path);

// The values the logger stamps besides the entry id; an empty one is left out.
struct LogStamps {
    std::string date;
    std::string time;
    std::string user_name;
};

// An entry text with the four stamps set the way PutLogEntry sets them on an
// ILogEntry (names and values lowered, the pairs rebuilt back to back);
// nullopt when the text cannot take them.
std::optional<std::string> StampLogEntryText(std::string_view entry_text, std::int64_t entry_id,
                                             const LogStamps& stamps, const MultiByteText& mb);

// A text made fit to be the value of an entry pair: double quotes become
// single ones and control bytes blanks, so the pair reads back whole; an
// empty text becomes "-".
std::string LogPairValue(std::string_view text);

}  // namespace olvex
