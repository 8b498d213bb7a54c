#include "client/main/text_values.h"

#include <vector>

#include "client/common/program_settings.h"

namespace olvex {

std::uint32_t ColorFromText(std::string_view text) {
    std::uint32_t parts[3] = {0, 0, 0};
    for (std::uint32_t& part : parts) {
        const std::size_t comma = text.find(',');
        part = static_cast<std::uint32_t>(ParseLeadingLong(text.substr(0, comma))) & 0xFF;
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    return parts[0] | (parts[1] << 8) | (parts[2] << 16);
}

unsigned GroupingFromLocaleText(std::string_view text) {
    std::vector<unsigned> groups;
    while (true) {
        const std::size_t semicolon = text.find(';');
        const std::string_view group = text.substr(0, semicolon);
        // One digit per group: the system knows no larger ones.
        if (group.size() != 1 || group[0] < '0' || group[0] > '9')
            return 0;
        groups.push_back(static_cast<unsigned>(group[0] - '0'));
        if (semicolon == std::string_view::npos)
            break;
        text.remove_prefix(semicolon + 1);
    }
    const bool repeats = groups.back() == 0;
    if (repeats)
        groups.pop_back();
    // A grouping that does not repeat ends in a 0 digit of its own. More than
    // nine digits are no grouping a locale has.
    if (groups.size() + (repeats ? 0 : 1) > 9)
        return 0;
    unsigned grouping = 0;
    for (const unsigned group : groups)
        grouping = grouping * 10 + group;
    return repeats || grouping == 0 ? grouping : grouping * 10;
}

}  // namespace olvex
