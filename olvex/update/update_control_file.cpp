#include "olvex/update/update_control_file.h"

#include "olvex/core/crc32.h"
#include "olvex/core/leading_decimal.h"
#include "olvex/update/update_file_name.h"
#include "olvex/update/update_text_lines.h"

#include <optional>

namespace olvex {
namespace {

bool HoldsControlCharacters(std::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            return true;
    }
    return false;
}

// Group lines 1..9 into a record, or the reason the group gives none.
struct GroupResult {
    std::optional<UpdateControlRecord> record;
    ControlEntryProblem problem = ControlEntryProblem::kUnsafeFileName;
};

GroupResult ReadGroup(std::span<const std::string_view> group) {
    GroupResult result;
    const std::string_view text = group[0], name = group[1], type = group[3], version = group[4],
                           url = group[5], check = group[7], size = group[8];
    if (!IsSafeUpdateFileName(name)) {
        result.problem = ControlEntryProblem::kUnsafeFileName;
        return result;
    }
    if (url.size() > kMaxControlUrlChars) {
        result.problem = ControlEntryProblem::kUrlTooLong;
        return result;
    }
    if (HoldsControlCharacters(url)) {
        result.problem = ControlEntryProblem::kUrlNotText;
        return result;
    }
    UpdateControlRecord record;
    if (text.size() <= kMaxControlTextChars)
        record.text = std::string(text);
    record.file_name = std::string(name);
    record.type = ParseLeadingInt32(type);
    record.version = ParseLeadingInt32(version);
    record.url = std::string(url);
    record.check_value = ParseLeadingWord32(check);
    record.size = ParseLeadingCount32(size);
    result.record = std::move(record);
    return result;
}

}  // namespace

std::uint32_t UpdateCheckValue(std::span<const std::uint8_t> bytes) {
    return Crc32(bytes) ^ kUpdateCheckMask;
}

ControlFile ParseControlFile(std::string_view text) {
    ControlFile result;
    if (text.size() > kMaxControlFileBytes) {
        result.error = ControlFileError::kTooLarge;
        return result;
    }
    // The marker test, like the line split, sees the text up to its first NUL.
    text = text.substr(0, text.find('\0'));
    if (text.find(kControlFileMarker) == std::string_view::npos) {
        result.error = ControlFileError::kNoMarker;
        return result;
    }
    const auto lines = SplitUpdateTextLines(text);
    if (lines.size() <= kControlHeaderLines)
        return result;
    const std::span body = std::span(lines).subspan(kControlHeaderLines);
    const std::size_t groups = body.size() / kControlGroupLines;
    for (std::size_t g = 0; g < groups; ++g) {
        const auto group = body.subspan(g * kControlGroupLines, kControlGroupLines);
        auto read = ReadGroup(group);
        if (read.record) {
            result.entries.push_back(std::move(*read.record));
        } else {
            const auto name = group[1].substr(0, kMaxControlTextChars + 1);
            result.rejected.push_back({g, read.problem, std::string(name)});
        }
    }
    return result;
}

ControlFile ParseControlFile(std::span<const std::uint8_t> bytes) {
    return ParseControlFile(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace olvex
