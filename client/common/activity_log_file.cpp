#include "client/common/activity_log_file.h"

#include <windows.h>

#include <span>

#include "client/common/client_environment.h"
#include "client/common/named_mutex.h"
#include "win/unique.h"
#include "olvex/core/file_io.h"

namespace olvex {
namespace {

// The largest clean log copied into the activity log in one go.
constexpr std::uint64_t kMaxAppendedFileBytes = 16 * 1024 * 1024;

bool ReadAll(HANDLE file, std::uint64_t offset, std::string& text) {
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file, position, nullptr, FILE_BEGIN))
        return false;
    std::size_t done = 0;
    while (done < text.size()) {
        const std::size_t left = text.size() - done;
        const DWORD chunk = left > 0x1000000u ? 0x1000000u : static_cast<DWORD>(left);
        DWORD got = 0;
        if (!ReadFile(file, text.data() + done, chunk, &got, nullptr))
            return false;
        if (got == 0)
            break;
        done += got;
    }
    text.resize(done);
    return true;
}

bool WriteAllFromStart(HANDLE file, std::string_view text) {
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN))
        return false;
    std::size_t done = 0;
    while (done < text.size()) {
        const std::size_t left = text.size() - done;
        const DWORD chunk = left > 0x1000000u ? 0x1000000u : static_cast<DWORD>(left);
        DWORD wrote = 0;
        if (!WriteFile(file, text.data() + done, chunk, &wrote, nullptr) || wrote != chunk)
            return false;
        done += wrote;
    }
    return SetEndOfFile(file) && FlushFileBuffers(file);
}

// One attempt at shortening the log in place. The file is opened so that no
// other program can write to it until it is closed: appenders that come
// meanwhile fail to open it and retry, so every line they add lands after
// the rewrite. The kept lines are written over the front of the file; since
// they are its newest lines, even a write cut short loses none of them.
AttemptResult ShortenInPlace(const std::string& path, bool& rewritten, std::string& kept) {
    win::UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return AttemptResult::kDone;  // no log, nothing to shorten
        return AttemptResult::kRetry;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size))
        return AttemptResult::kRetry;
    const auto file_size = static_cast<std::uint64_t>(size.QuadPart);
    // A log too large to read whole is read from its tail: the lines before
    // it would be dropped anyway.
    const std::uint64_t start =
        file_size > kMaxActivityLogBytes ? file_size - kMaxActivityLogBytes : 0;
    std::string text(static_cast<std::size_t>(file_size - start), '\0');
    if (!ReadAll(file.get(), start, text))
        return AttemptResult::kRetry;
    std::string_view whole(text);
    if (start > 0) {
        const auto first_break = whole.find('\n');
        whole = first_break == std::string_view::npos ? std::string_view()
                                                      : whole.substr(first_break + 1);
    }
    const auto lines = SplitActivityLogLines(whole);
    const std::size_t drop = ActivityLogLinesToDrop(lines, true);
    if (drop == 0 && start == 0)
        return AttemptResult::kDone;
    kept.clear();
    for (std::size_t i = drop; i < lines.size(); ++i) {
        kept += lines[i];
        kept += "\r\n";
    }
    if (!WriteAllFromStart(file.get(), kept))
        return AttemptResult::kRetry;
    rewritten = true;
    return AttemptResult::kDone;
}

}  // namespace

LogStatus CLogFile::SetPath(std::string path) {
    path_ = std::move(path);
    return LogStatus::kDone;
}

ActivityLogEntry CLogFile::MakeEntry(std::int32_t pest_id, std::string_view location,
                                     std::string_view pest_name, std::string_view action,
                                     std::string_view category, std::int32_t pvt) const {
    const SYSTEMTIME now = CurrentClientClock().LocalTime();
    ActivityLogEntry entry;
    entry.date_time = FormatDateTime(now);
    entry.time = FileTimeOf(now);
    entry.action = std::string(action);
    entry.pest_name = std::string(pest_name);
    entry.category = std::string(category);
    entry.pest_id = pest_id;
    entry.location = std::string(location);
    entry.pvt = pvt;
    return entry;
}

bool CLogFile::AppendWithRetries(std::string_view text) const {
    return RetryWithBackoff(kAppendAttempts, [&] {
        switch (AppendActivityLogLines(path_, text)) {
            case FileError::kNone:
                return AttemptResult::kDone;
            case FileError::kNoSpace:
                // A full disk does not empty itself within the retries; the
                // failed write left nothing behind, the lines stay pending.
                return AttemptResult::kGiveUp;
            default:
                return AttemptResult::kRetry;  // another program holds the log
        }
    });
}

LogStatus CLogFile::AddEntry(std::int32_t pest_id, std::string_view location,
                             std::string_view pest_name, std::string_view action,
                             std::string_view category, std::int32_t pvt) {
    if (path_.empty())
        return LogStatus::kNoPath;
    entries_.push_back(MakeEntry(pest_id, location, pest_name, action, category, pvt));
    pending_ += FormatActivityLogLine(entries_.back());
    ++pending_count_;
    if (pending_count_ > kMaxPendingLogLines)
        return Flush();
    return LogStatus::kDone;
}

LogStatus CLogFile::WriteEntry(std::int32_t pest_id, std::string_view location,
                               std::string_view pest_name, std::string_view action,
                               std::string_view category, std::int32_t pvt) {
    if (path_.empty())
        return LogStatus::kNoPath;
    entries_.push_back(MakeEntry(pest_id, location, pest_name, action, category, pvt));
    const std::string line = FormatActivityLogLine(entries_.back());
    if (AppendWithRetries(line))
        return LogStatus::kDone;
    // Kept for the next flush rather than lost.
    pending_ += line;
    ++pending_count_;
    return LogStatus::kFailed;
}

LogStatus CLogFile::Flush() {
    if (path_.empty())
        return LogStatus::kNoPath;
    if (pending_count_ == 0)
        return LogStatus::kDone;
    if (!AppendWithRetries(pending_))
        return LogStatus::kFailed;
    pending_.clear();
    pending_count_ = 0;
    return LogStatus::kDone;
}

LogStatus CLogFile::Load(unsigned long mutex_wait_ms) {
    if (path_.empty())
        return LogStatus::kNoPath;
    entries_.clear();
    const win::UniqueHandle mutex = OpenOrCreateMutex(kActivityLogMutexName);
    // Reading changes nothing: a log whose mutex cannot be had (none could be
    // opened, or another program kept it past the time limit) is read all
    // the same.
    const MutexLock lock(mutex.get(), mutex_wait_ms);
    ActivityLogContents contents;
    const bool read = RetryWithBackoff(kReadAttempts, [&] {
        auto result = ReadActivityLog(path_, legacy_milliseconds_);
        if (result.error == FileError::kTooLarge)
            return AttemptResult::kGiveUp;
        if (!result)
            return AttemptResult::kRetry;
        contents = std::move(result.contents);
        return AttemptResult::kDone;
    });
    if (!read)
        return LogStatus::kFailed;
    if (!FileExists(path_))
        AppendActivityLogLines(path_, {});  // the log exists from now on, empty
    entries_ = std::move(contents.entries);
    return LogStatus::kDone;
}

LogStatus CLogFile::Truncate(bool truncate) {
    if (path_.empty())
        return LogStatus::kNoPath;
    if (!truncate)
        return LogStatus::kDone;
    const win::UniqueHandle mutex = OpenOrCreateMutex(kActivityLogMutexName);
    const MutexLock lock(mutex.get());
    if (!lock.locked())
        return LogStatus::kFailed;
    bool rewritten = false;
    std::string kept;
    if (!RetryWithBackoff(kReadAttempts, [&] { return ShortenInPlace(path_, rewritten, kept); }))
        return LogStatus::kFailed;
    if (rewritten)
        entries_ = ParseActivityLog(kept, legacy_milliseconds_).entries;
    return LogStatus::kDone;
}

LogStatus CLogFile::AppendAndRemoveFile(const std::string& source_path) {
    if (path_.empty())
        return LogStatus::kNoPath;
    const auto source = ReadWholeFile(source_path, kMaxAppendedFileBytes);
    if (source.error == FileError::kNotFound && !FileExists(source_path))
        return LogStatus::kDone;
    if (!source)
        return LogStatus::kFailed;
    if (source.bytes.empty())
        return LogStatus::kDone;
    std::string text(source.bytes.begin(), source.bytes.end());
    if (text.back() != '\n')
        text += "\r\n";  // the next line must not run on from its last one
    if (!AppendWithRetries(text))
        return LogStatus::kFailed;
    return RemoveFile(source_path) ? LogStatus::kDone : LogStatus::kFailed;
}

}  // namespace olvex
