#include "olvex/update/update_text_lines.h"

namespace olvex {
namespace {

bool IsWhiteSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsWhiteSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsWhiteSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

}  // namespace

std::vector<std::string_view> SplitUpdateTextLines(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    std::vector<std::string_view> lines;
    std::size_t cursor = 0;
    while (cursor < text.size()) {
        std::size_t end = text.find('\r', cursor);
        if (end == std::string_view::npos)
            end = text.find('\n', cursor);
        if (end == std::string_view::npos)
            break;
        const auto line = Trim(text.substr(cursor, end - cursor));
        cursor = end;
        while (cursor < text.size() &&
               (text[cursor] == '\t' || text[cursor] == '\r' || text[cursor] == '\n'))
            ++cursor;
        if (!line.empty())
            lines.push_back(line);
    }
    return lines;
}

}  // namespace olvex
