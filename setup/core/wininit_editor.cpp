#include "setup/core/wininit_editor.h"

#include <optional>
#include <vector>

namespace olvex::setup::util {
namespace {

struct Line {
    size_t begin;  // first byte
    size_t end;    // past the text, before its line end
    size_t next;   // first byte of the next line
};

std::vector<Line> SplitLines(std::string_view text) {
    std::vector<Line> lines;
    size_t i = 0;
    while (i < text.size()) {
        const size_t newline = text.find('\n', i);
        const size_t stop = newline == std::string_view::npos ? text.size() : newline;
        size_t end = stop;
        if (end > i && text[end - 1] == '\r') {
            --end;
        }
        lines.push_back({i, end, newline == std::string_view::npos ? text.size() : newline + 1});
        i = lines.back().next;
    }
    return lines;
}

std::string_view Trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool IsSectionHeader(std::string_view line) {
    const std::string_view text = Trimmed(line);
    return !text.empty() && text.front() == '[';
}

bool IsRenameHeader(std::string_view line) {
    std::string_view text = Trimmed(line);
    if (text.size() < 2 || text.front() != '[' || text.find(']') == std::string_view::npos) {
        return false;
    }
    text = Trimmed(text.substr(1, text.find(']') - 1));
    constexpr std::string_view kName = "rename";
    if (text.size() != kName.size()) {
        return false;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] + 32) : text[i];
        if (c != kName[i]) {
            return false;
        }
    }
    return true;
}

std::string_view Text(std::string_view ini, const Line& line) {
    return ini.substr(line.begin, line.end - line.begin);
}

struct Section {
    size_t header;  // line index of "[Rename]"
    size_t last;    // one past its last body line
};

std::optional<Section> RenameSection(std::string_view ini, const std::vector<Line>& lines) {
    for (size_t k = 0; k < lines.size(); ++k) {
        if (IsRenameHeader(Text(ini, lines[k]))) {
            size_t last = k + 1;
            while (last < lines.size() && !IsSectionHeader(Text(ini, lines[last]))) {
                ++last;
            }
            return Section{k, last};
        }
    }
    return std::nullopt;
}

// Ends an unfinished last line, so that what follows starts a line of its
// own.
void EndLine(std::string& text) {
    if (text.empty() || text.back() == '\n') {
        return;
    }
    text += text.back() == '\r' ? "\n" : "\r\n";
}

}  // namespace

std::string AddRenameLine(std::string_view ini, std::string_view line) {
    const std::vector<Line> lines = SplitLines(ini);
    const std::optional<Section> section = RenameSection(ini, lines);
    std::string out;
    if (!section) {
        // No section: add one at the end.
        out.assign(ini);
        EndLine(out);
        out += "[Rename]\r\n";
        out.append(line);
        out += "\r\n";
        return out;
    }
    // After the section's last line with text, so blank lines that part it
    // from the next section stay where they are.
    size_t insert_after = section->header;
    for (size_t k = section->header + 1; k < section->last; ++k) {
        if (!Trimmed(Text(ini, lines[k])).empty()) {
            insert_after = k;
        }
    }
    const Line& anchor = lines[insert_after];
    out.assign(ini.substr(0, anchor.next));
    EndLine(out);
    out.append(line);
    out += "\r\n";
    out.append(ini.substr(anchor.next));
    return out;
}

std::string RenameSectionText(std::string_view ini) {
    const std::vector<Line> lines = SplitLines(ini);
    const std::optional<Section> section = RenameSection(ini, lines);
    std::string out;
    if (section) {
        for (size_t k = section->header + 1; k < section->last; ++k) {
            out.append(Text(ini, lines[k]));
            out += '\n';
        }
    }
    return out;
}

}  // namespace olvex::setup::util
