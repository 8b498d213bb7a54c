// One program's handle on the shared activity log "QZv5Log.txt" (its line
// format: activity_log.h). It formats entries with the current clock, keeps
// them in memory for the log views, gathers lines until they are flushed
// (more than 200 flush at once), reads the file back and shortens it.
//
// Every client program appends to the same file, so appends are retried up
// to 7 times and reads up to 5 (sleeping 250, 500, 1000 ... ms between
// attempts), and a failure after the last attempt is reported, never passed
// off as done: lines that could not be written stay pending. A full disk is
// not retried. Each append begins a line of its own, and a failed one leaves
// the file as it was (AppendActivityLogLines).
//
// Reading the whole file and shortening it happen under the named mutex
// "Gorsewatchv5LogMutex", which these operations take themselves. Shortening
// works on the file as it is at that moment and keeps appenders out while it
// rewrites, so lines that other programs appended since this program read
// the log are never lost.
//
// One object is used from one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "client/common/activity_log.h"

namespace olvex {

// More pending lines than this are written at once.
inline constexpr std::size_t kMaxPendingLogLines = 200;

enum class LogStatus {
    kNoPath = 0,  // no path set: nothing was touched
    kDone = 2,
    kFailed = 3,  // the file could not be read or written after every attempt
};

class CLogFile {
  public:
    LogStatus SetPath(std::string path);
    const std::string& GetPath() const { return path_; }

    // Adds the entry to the list and its line to the pending lines; more
    // than kMaxPendingLogLines pending are flushed (kFailed when that fails;
    // the lines stay pending).
    LogStatus AddEntry(std::int32_t pest_id, std::string_view location, std::string_view pest_name,
                       std::string_view action, std::string_view category, std::int32_t pvt);

    // Adds the entry to the list and appends its line to the file at once
    // (pending lines stay pending). A line that could not be written becomes
    // the last pending line (kFailed).
    LogStatus WriteEntry(std::int32_t pest_id, std::string_view location,
                         std::string_view pest_name, std::string_view action,
                         std::string_view category, std::int32_t pvt);

    // Appends all pending lines in one write; they stay pending on failure.
    LogStatus Flush();

    // Replaces the entry list with the file's lines, under the log mutex. A
    // missing file is made empty. On failure the list is left empty. With a
    // time limit on the wait for the mutex, the file is read once it ran out
    // all the same, as it is when no mutex can be opened.
    LogStatus Load(unsigned long mutex_wait_ms = 0xFFFFFFFF);

    // With truncate set and the file above 5 MiB, drops its oldest lines
    // until at most 2 MiB remain, under the log mutex, and reads the entry
    // list back from what remains. Without it, the file is left as it is.
    LogStatus Truncate(bool truncate);

    // Appends the text of another program's log file (the scripted remover's
    // clean log) to the log, ended by a line break, and deletes that file
    // once its text is in the log. A missing or empty file is left as it is.
    // Pending lines are not written: after a Flush they follow the copy.
    LogStatus AppendAndRemoveFile(const std::string& source_path);

    const std::vector<ActivityLogEntry>& entries() const { return entries_; }
    std::size_t pending_line_count() const { return pending_count_; }

  private:
    ActivityLogEntry MakeEntry(std::int32_t pest_id, std::string_view location,
                               std::string_view pest_name, std::string_view action,
                               std::string_view category, std::int32_t pvt) const;
    bool AppendWithRetries(std::string_view text) const;

    std::string path_;
    std::vector<ActivityLogEntry> entries_;
    std::string pending_;
    std::size_t pending_count_ = 0;
    int legacy_milliseconds_ = 0;
};

}  // namespace olvex
