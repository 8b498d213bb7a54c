#include "setup/core/command_line.h"

namespace olvex::setup {
namespace {

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

// How much of a refused argument is kept to name it in the log.
constexpr size_t kRefusedKeep = 64;

}  // namespace

ArgumentList SplitCommandLine(std::u16string_view text) {
    ArgumentList list;
    size_t i = 0;
    while (list.arguments.size() < kMaxArguments) {
        while (i < text.size() && IsBlank(text[i])) {
            ++i;
        }
        if (i >= text.size()) {
            break;
        }
        Argument argument;
        size_t length = 0;
        bool quoted = false;
        const auto add = [&](char16_t c) {
            ++length;
            if (length <= kMaxArgumentLength) {
                argument.text.push_back(c);
            }
        };
        for (; i < text.size(); ++i) {
            const char16_t c = text[i];
            if (!quoted && IsBlank(c)) {
                break;
            }
            if (c == u'\\' && i + 1 < text.size() && text[i + 1] == u'"') {
                add(u'"');
                ++i;
            } else if (c == u'"') {
                if (quoted && i + 1 < text.size() && text[i + 1] == u'"') {
                    add(u'"');
                    ++i;
                    quoted = false;
                } else {
                    quoted = !quoted;
                }
            } else {
                add(c);
            }
        }
        if (length == 0) {
            continue;
        }
        if (length > kMaxArgumentLength) {
            argument.refused = true;
            argument.text.resize(kRefusedKeep);
        }
        list.arguments.push_back(std::move(argument));
    }
    return list;
}

void FreeArgumentList(ArgumentList& list) {
    list.arguments.clear();
    list.arguments.shrink_to_fit();
}

std::u16string_view SkipProgramName(std::u16string_view command_line) {
    size_t i = 0;
    if (!command_line.empty() && command_line[0] == u'"') {
        i = command_line.find(u'"', 1);
        i = i == std::u16string_view::npos ? command_line.size() : i + 1;
    } else {
        while (i < command_line.size() && !IsBlank(command_line[i])) {
            ++i;
        }
    }
    while (i < command_line.size() && IsBlank(command_line[i])) {
        ++i;
    }
    return command_line.substr(i);
}

}  // namespace olvex::setup
