// What the command-line scanner reads from outside before it scans: the main
// program's settings file "qzv5exe.ini" and its own command line. From any
// bytes the settings hold no line break and no trailing blank, and the
// action is the one the last action word names.
//
// Input: the settings file; its lines also serve as the command line's
// parameters.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "client/cli/marvolt_options.h"

namespace {

// Stops the run at the first broken promise, saying where.
void Check(bool condition, int line = __builtin_LINE()) {
    if (!condition) {
        std::fprintf(stderr, "check failed at line %d\n", line);
        std::abort();
    }
}

bool IsTrailingBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const olvex::MarvoltSettings settings = olvex::ParseMarvoltSettings(text);
    Check(settings.machine_id.size() <= text.size());
    Check(settings.machine_id.find('\n') == std::string::npos);
    Check(settings.machine_id.empty() || !IsTrailingBlank(settings.machine_id.back()));
    // The machine id is the text of one line, after its first "=".
    if (!settings.machine_id.empty())
        Check(text.find(settings.machine_id) != std::string_view::npos);

    std::vector<std::string> parameters;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        parameters.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    const olvex::MarvoltCommandLine command_line = olvex::ParseMarvoltCommandLine(parameters);
    auto expected = olvex::MarvoltAction::kQuarantine;
    for (const auto& parameter : parameters) {
        if (const auto action = olvex::ParseActionWord(parameter))
            expected = *action;
    }
    Check(command_line.action == expected);
    if (command_line.document) {
        Check(!command_line.document->empty());
        Check(command_line.document->front() != '/' && command_line.document->front() != '-');
        Check(!olvex::ParseActionWord(*command_line.document));
    }
    return 0;
}
