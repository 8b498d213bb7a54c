#include "olvex/core/engine_log.h"

#include <algorithm>
#include <limits>

#include "olvex/core/attribute_list.h"
#include "olvex/core/leading_decimal.h"
#include "olvex/core/line_buffer.h"
#include "olvex/core/location_string.h"
#include "olvex/core/locked_file.h"

namespace olvex {
namespace {

// One below the largest number, so the next id can always be formed.
constexpr std::int64_t kHighestEntryId = std::numeric_limits<std::int64_t>::max() - 1;

// The whole log is read to find the highest id: a log cannot grow past what
// one read can hold.
constexpr std::uint64_t kMaxLogBytes = 0xFFFFFFFFull;

std::string_view AsText(const std::vector<std::uint8_t>& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace

std::vector<std::string> ReadLogLines(std::string_view content) {
    TCharBufferManagement buffer;
    buffer.SetText(content);
    std::vector<std::string> lines;
    for (auto line = buffer.GetFirstLine(); line; line = buffer.GetNextLine()) {
        // A line of blanks between two line ends trims to nothing: no entry.
        if (!line->empty())
            lines.push_back(std::move(*line));
    }
    return lines;
}

std::int64_t HighestLogEntryId(std::string_view content, const MultiByteText& mb) {
    std::int64_t highest = 0;
    for (const auto& line : ReadLogLines(content)) {
        const auto pairs = ParseLocationString(line, mb, kUnlimitedPairs).pairs;
        if (const auto at = FindAttribute(pairs, kLogEntryId, mb)) {
            const std::int64_t id = ParseLeadingDecimal(pairs[*at].value, 0, kHighestEntryId);
            if (id > highest)
                highest = id;
        }
    }
    return highest;
}

std::optional<std::string> FormatLogLine(std::string_view entry_text) {
    if (entry_text.empty() ||
        entry_text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
        return std::nullopt;
    std::string line(entry_text);
    line += "\r\n";
    return line;
}

namespace {

// How many of the last bytes a position keeps.
constexpr std::size_t kTailBytes = 64;

// The highest id in text that starts at a line boundary; an unfinished last
// line counts, since it is ended before the next line is appended.
std::int64_t HighestIdInLines(std::string_view text, const MultiByteText& mb) {
    if (!text.empty() && text.back() != '\n')
        return HighestLogEntryId(std::string(text) + "\r\n", mb);
    return HighestLogEntryId(text, mb);
}

// What the log holds before the new line: the highest id in it and its last
// bytes. Reads from the position when the log still holds what it saw.
struct LogState {
    std::uint64_t size = 0;
    std::int64_t highest_id = 0;
    std::string tail;
};

std::string_view LastBytes(std::string_view text, std::size_t count) {
    return text.substr(text.size() > count ? text.size() - count : 0);
}

std::optional<LogState> ReadLogState(LockedFile& log, const MultiByteText& mb,
                                     const LogPosition* position) {
    const auto size = log.Size();
    if (!size)
        return std::nullopt;
    if (position && position->size <= *size && position->tail.size() <= position->size &&
        *size - position->size < kMaxLogBytes) {
        const FileBytes tail =
            log.ReadRange(position->size - position->tail.size(), position->tail.size());
        if (tail && AsText(tail.bytes) == position->tail) {
            const FileBytes added =
                log.ReadRange(position->size, static_cast<std::size_t>(*size - position->size));
            if (!added)
                return std::nullopt;
            const std::string_view text = AsText(added.bytes);
            LogState state;
            state.size = position->size + added.bytes.size();
            state.highest_id = std::max(position->highest_id, HighestIdInLines(text, mb));
            state.tail = std::string(LastBytes(position->tail + std::string(text), kTailBytes));
            return state;
        }
    }
    const FileBytes content = log.ReadAll(kMaxLogBytes);
    if (!content)
        return std::nullopt;
    const std::string_view text = AsText(content.bytes);
    LogState state;
    state.size = content.bytes.size();
    state.highest_id = HighestIdInLines(text, mb);
    state.tail = std::string(LastBytes(text, kTailBytes));
    return state;
}

}  // namespace

LogAppendResult AppendLogEntry(const std::string& path, const MultiByteText& mb,
                               const LogEntryComposer& compose, LogPosition* position) {
    LockedFile log;
    if (log.Open(path) != FileError::kNone)
        return LogAppendResult::kOpenFailed;
    const auto state = ReadLogState(log, mb, position);
    if (!state)
        return LogAppendResult::kReadFailed;
    const std::int64_t id = state->highest_id + 1;
    const auto entry = compose(id);
    if (!entry)
        return LogAppendResult::kRefused;
    auto line = FormatLogLine(*entry);
    if (!line)
        return LogAppendResult::kRefused;
    if (!state->tail.empty() && state->tail.back() != '\n')
        line->insert(0, "\r\n");
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(line->data());
    if (log.Append({bytes, line->size()}) != FileError::kNone) {
        if (position)
            *position = {};  // the file may hold part of the line: look at all of it next time
        return LogAppendResult::kWriteFailed;
    }
    if (position) {
        position->size = state->size + line->size();
        // As a whole read would see it: ids stop one below the largest
        // number, so the next one can always be formed.
        position->highest_id = std::min(id, kHighestEntryId);
        position->tail = std::string(LastBytes(state->tail + *line, kTailBytes));
    }
    return LogAppendResult::kAppended;
}

bool ClearLog(const std::string& path) {
    LockedFile log;
    return log.Open(path) == FileError::kNone && log.Truncate() == FileError::kNone;
}

std::optional<std::string> StampLogEntryText(std::string_view entry_text, std::int64_t entry_id,
                                             const LogStamps& stamps, const MultiByteText& mb) {
    AttributeList entry(mb);
    entry.SetString(entry_text);
    if (!entry.SetAttributeValue(kLogEntryId, std::to_string(entry_id)))
        return std::nullopt;
    for (const auto& [name, value] :
         {std::pair{kLogDate, &stamps.date}, std::pair{kLogTime, &stamps.time},
          std::pair{kLogUserName, &stamps.user_name}}) {
        // An attribute list holds no empty value: a stamp the system could
        // not give is left out.
        if (!value->empty() && !entry.SetAttributeValue(name, *value))
            return std::nullopt;
    }
    return entry.GetString();
}

std::string LogPairValue(std::string_view text) {
    if (text.empty())
        return "-";
    std::string value(text);
    for (char& c : value) {
        if (c == '"')
            c = '\'';
        else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    }
    return value;
}

}  // namespace olvex
