#include "client/common/activity_log.h"

#include "olvex/core/leading_decimal.h"

namespace olvex {
namespace {

void AppendNumber(std::string& line, std::int64_t value) {
    line += std::to_string(value);
    line += ',';
}

struct Field {
    std::string text;
    bool comma = false;  // ended by a comma (not by the end of the line)
};

// One field from at: a field that starts with a double quote and closes with
// one right before a comma (or the line end) is quoted; anything else is bare,
// up to the next comma, as older versions wrote every field. A quoted reading
// that fails tells where it failed (bare_until): fields that start before that
// point are read bare without trying again, so a line costs linear time
// whatever it holds. Lines this writer makes never fail a quoted reading.
Field ReadField(std::string_view line, std::size_t& at, std::size_t& bare_until) {
    Field field;
    if (line[at] == '"' && at >= bare_until) {
        std::string text;
        std::size_t j = at + 1;
        for (; j < line.size(); ++j) {
            if (line[j] != '"') {
                text += line[j];
                continue;
            }
            if (j + 1 < line.size() && line[j + 1] == '"') {
                text += '"';
                ++j;
                continue;
            }
            if (j + 1 == line.size() || line[j + 1] == ',') {
                field.text = std::move(text);
                field.comma = j + 1 < line.size();
                at = j + 2;
                return field;
            }
            break;  // a quote inside a bare field
        }
        bare_until = j;
    }
    const auto comma = line.find(',', at);
    if (comma == std::string_view::npos) {
        field.text = std::string(line.substr(at));
        at = line.size();
    } else {
        field.text = std::string(line.substr(at, comma - at));
        field.comma = true;
        at = comma + 1;
    }
    return field;
}

std::vector<Field> ReadFields(std::string_view line) {
    std::vector<Field> fields;
    std::size_t at = 0, bare_until = 0;
    while (at < line.size())
        fields.push_back(ReadField(line, at, bare_until));
    return fields;
}

// A field is quoted only when it must be: when it holds a comma, or when it
// begins with a double quote, which the reader would take for the start of a
// quoted field. Everything else, locations with the double quotes inside
// them among it, is written bare, as older versions wrote every field.
bool NeedsQuotes(std::string_view text) {
    return text.find(',') != std::string_view::npos || (!text.empty() && text.front() == '"');
}

void AppendField(std::string& line, std::string_view text) {
    std::string field(text);
    // One entry, one line.
    for (char& c : field) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    if (!NeedsQuotes(field)) {
        line += field;
    } else {
        line += '"';
        for (const char c : field) {
            if (c == '"')
                line += '"';
            line += c;
        }
        line += '"';
    }
    line += ',';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// sscanf-style "%d": blanks, a sign, digits; false when no digit follows.
bool ReadNumber(std::string_view text, std::size_t& at, std::int64_t& value) {
    while (at < text.size() && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r')))
        ++at;
    const std::size_t start = at;
    if (at < text.size() && (text[at] == '+' || text[at] == '-'))
        ++at;
    if (at >= text.size() || !IsDigit(text[at]))
        return false;
    while (at < text.size() && IsDigit(text[at]))
        ++at;
    value = ParseLeadingDecimal(text.substr(start, at - start), -1'000'000'000, 1'000'000'000);
    return true;
}

std::int64_t DaysFromCivil(std::int64_t y, std::int64_t m, std::int64_t d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool IsLeapYear(std::int64_t y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// The FILETIME of a calendar time, 0 when it is no valid time (the range of
// SystemTimeToFileTime).
std::uint64_t FileTimeOf(std::int64_t year, std::int64_t month, std::int64_t day, std::int64_t hour,
                         std::int64_t minute, std::int64_t second, std::int64_t millisecond) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1601 || year > 30827 || month < 1 || month > 12 || day < 1 || hour < 0 ||
        hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0 ||
        millisecond > 999)
        return 0;
    const int month_days = kDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
    if (day > month_days)
        return 0;
    const std::int64_t days = DaysFromCivil(year, month, day) - DaysFromCivil(1601, 1, 1);
    const std::int64_t seconds = ((days * 24 + hour) * 60 + minute) * 60 + second;
    return static_cast<std::uint64_t>(seconds) * 10'000'000u +
           static_cast<std::uint64_t>(millisecond) * 10'000u;
}

// Older lines: "year/day/month-hour:minute:second" read in that order; what is
// not there stays 0.
std::uint64_t LegacyTime(std::string_view text, int& legacy_milliseconds) {
    std::int64_t parts[6] = {};
    static constexpr char kSeparators[] = {'/', '/', '-', ':', ':'};
    std::size_t at = 0;
    for (int i = 0; i < 6; ++i) {
        if (!ReadNumber(text, at, parts[i]))
            break;
        if (i == 5 || at >= text.size() || text[at] != kSeparators[i])
            break;
        ++at;
    }
    const int millisecond = legacy_milliseconds;
    legacy_milliseconds = (legacy_milliseconds + 1) % 1000;
    return FileTimeOf(parts[0], parts[2], parts[1], parts[3], parts[4], parts[5], millisecond);
}

std::int64_t TimeHalf(std::uint32_t half) {
    return static_cast<std::int32_t>(half);
}

}  // namespace

std::string FormatActivityLogLine(const ActivityLogEntry& entry) {
    std::string line;
    AppendField(line, entry.date_time);
    AppendNumber(line, TimeHalf(static_cast<std::uint32_t>(entry.time >> 32)));
    AppendNumber(line, TimeHalf(static_cast<std::uint32_t>(entry.time)));
    AppendField(line, entry.action);
    AppendField(line, entry.pest_name);
    AppendField(line, entry.category);
    AppendNumber(line, entry.pest_id);
    AppendField(line, entry.location);
    AppendNumber(line, entry.pvt);
    line += "\r\n";
    return line;
}

std::string FormatActivityLogLines(std::span<const ActivityLogEntry> entries) {
    std::string lines;
    for (const auto& entry : entries)
        lines += FormatActivityLogLine(entry);
    return lines;
}

std::optional<ActivityLogEntry> ParseActivityLogLine(std::string_view line,
                                                     int& legacy_milliseconds) {
    const auto fields = ReadFields(line);
    // Fields up to the location, each ended by its comma.
    auto complete = [&fields](std::size_t count) {
        return fields.size() >= count && fields[count - 1].comma;
    };
    ActivityLogEntry entry;
    std::size_t next = 1;
    if (fields.size() >= 2 && !fields[1].text.empty() && IsDigit(fields[1].text[0])) {
        if (!complete(8))
            return std::nullopt;
        const auto high = static_cast<std::uint32_t>(ParseLeadingInt32(fields[1].text));
        const auto low = static_cast<std::uint32_t>(ParseLeadingInt32(fields[2].text));
        entry.time = (std::uint64_t{high} << 32) | low;
        next = 3;
    } else {
        if (!complete(6))
            return std::nullopt;
        entry.time = LegacyTime(fields[0].text, legacy_milliseconds);
    }
    entry.date_time = fields[0].text;
    entry.action = fields[next].text;
    entry.pest_name = fields[next + 1].text;
    entry.category = fields[next + 2].text;
    entry.pest_id = ParseLeadingInt32(fields[next + 3].text);
    entry.location = fields[next + 4].text;
    // Lines of older versions end after the location.
    entry.pvt = fields.size() > next + 5 ? ParseLeadingInt32(fields[next + 5].text) : -1;
    return entry;
}

std::vector<std::string_view> SplitActivityLogLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (!line.empty())
            lines.push_back(line);
    }
    return lines;
}

ActivityLogContents ParseActivityLog(std::string_view text, int& legacy_milliseconds) {
    ActivityLogContents contents;
    for (const auto line : SplitActivityLogLines(text)) {
        if (auto entry = ParseActivityLogLine(line, legacy_milliseconds))
            contents.entries.push_back(std::move(*entry));
        else
            ++contents.skipped_lines;
    }
    return contents;
}

std::size_t ActivityLogLinesToDrop(std::span<const std::string_view> lines, bool truncate) {
    if (!truncate)
        return 0;
    std::uint64_t size = 0;
    for (const auto line : lines)
        size += line.size() + 2;
    if (size <= kActivityLogTruncateAbove)
        return 0;
    std::size_t drop = 0;
    while (drop < lines.size() && size > kActivityLogTruncateTo)
        size -= lines[drop++].size() + 2;
    return drop;
}

std::string TruncateActivityLog(std::string_view text, bool truncate) {
    const auto lines = SplitActivityLogLines(text);
    std::string kept;
    for (std::size_t i = ActivityLogLinesToDrop(lines, truncate); i < lines.size(); ++i) {
        kept += lines[i];
        kept += "\r\n";
    }
    return kept;
}

FileError AppendActivityLogLines(const std::string& path, std::string_view lines) {
    return AppendLinesToFile(
        path, std::span(reinterpret_cast<const std::uint8_t*>(lines.data()), lines.size()));
}

ActivityLogRead ReadActivityLog(const std::string& path, int& legacy_milliseconds) {
    ActivityLogRead result;
    auto file = ReadWholeFile(path, kMaxActivityLogBytes);
    if (file.error == FileError::kNotFound && FileExists(path))
        file.error = FileError::kReadFailed;
    if (file.error == FileError::kNotFound)
        return result;
    if (!file) {
        result.error = file.error;
        return result;
    }
    result.contents = ParseActivityLog(
        std::string_view(reinterpret_cast<const char*>(file.bytes.data()), file.bytes.size()),
        legacy_milliseconds);
    return result;
}

}  // namespace olvex
