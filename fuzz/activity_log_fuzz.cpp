// The activity log reader from hostile bytes: no read past a line, every entry
// read is written back as one line that reads as the same entry, and the
// shortening rule keeps its bounds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "client/common/activity_log.h"

namespace {

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

std::string Flattened(std::string text) {
    for (char& c : text) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    return text;
}

void CheckRoundTrip(const olvex::ActivityLogEntry& entry) {
    const auto line = olvex::FormatActivityLogLine(entry);
    Check(line.size() >= 2 && line.find('\n') == line.size() - 1 && line[line.size() - 2] == '\r');
    // Times past 2^63 print a negative first half, which older lines'
    // layout test cannot tell from text; the writer never makes them.
    if (entry.time >> 63)
        return;
    int milliseconds = 0;
    const auto back = olvex::ParseActivityLogLine(std::string_view(line).substr(0, line.size() - 2),
                                                  milliseconds);
    Check(back.has_value());
    auto expected = entry;
    expected.date_time = Flattened(expected.date_time);
    expected.action = Flattened(expected.action);
    expected.pest_name = Flattened(expected.pest_name);
    expected.category = Flattened(expected.category);
    expected.location = Flattened(expected.location);
    Check(*back == expected);
}

// Line sizes from the input, scaled so that shortening really happens.
void CheckShortening(const std::uint8_t* data, std::size_t size) {
    static const std::string filler(1 << 20, 'x');
    std::vector<std::string_view> lines;
    std::uint64_t total = 0;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const std::size_t length = ((data[i] << 8) | data[i + 1]) * 16 % filler.size();
        lines.emplace_back(filler.data(), length);
        total += length + 2;
    }
    const std::size_t drop = olvex::ActivityLogLinesToDrop(lines, true);
    Check(drop <= lines.size());
    Check(olvex::ActivityLogLinesToDrop(lines, false) == 0);
    if (total <= olvex::kActivityLogTruncateAbove) {
        Check(drop == 0);
        return;
    }
    std::uint64_t kept = 0;
    for (std::size_t i = drop; i < lines.size(); ++i)
        kept += lines[i].size() + 2;
    Check(kept <= olvex::kActivityLogTruncateTo);
    Check(drop > 0 && kept + lines[drop - 1].size() + 2 > olvex::kActivityLogTruncateTo);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    int milliseconds = 0;
    const auto contents = olvex::ParseActivityLog(text, milliseconds);
    const auto lines = olvex::SplitActivityLogLines(text);
    Check(contents.entries.size() + contents.skipped_lines == lines.size());
    for (const auto& entry : contents.entries)
        CheckRoundTrip(entry);

    const auto rewritten = olvex::TruncateActivityLog(text, true);
    Check(olvex::SplitActivityLogLines(rewritten).size() == lines.size() ||
          rewritten.size() <= olvex::kActivityLogTruncateTo);
    CheckShortening(data, size);
    return 0;
}
