#include "client/cli/marvolt_options.h"

#include <cctype>
#include <cstdlib>

namespace olvex {
namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

bool IsFlag(std::string_view parameter) {
    return !parameter.empty() && (parameter.front() == '/' || parameter.front() == '-');
}

std::string_view TrimTrailingBlanks(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                             text.back() == '\n'))
        text.remove_suffix(1);
    return text;
}

// The text after the first "=", trailing blanks removed; empty without one.
std::string_view ValueOf(std::string_view line) {
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos)
        return {};
    return TrimTrailingBlanks(line.substr(equals + 1));
}

// atol's reading of a value: leading blanks, a sign, digits; 0 otherwise.
bool NumberIsNotZero(std::string_view value) {
    const std::string text(value);
    return std::strtol(text.c_str(), nullptr, 10) != 0;
}

}  // namespace

std::optional<MarvoltAction> ParseActionWord(std::string_view parameter) {
    if (IsFlag(parameter))
        parameter.remove_prefix(1);
    struct Word {
        std::string_view text;
        MarvoltAction action;
    };
    static constexpr Word kWords[] = {
        {"quarantine", MarvoltAction::kQuarantine},
        {"exclude", MarvoltAction::kExclude},
        {"delete", MarvoltAction::kDelete},
        {"ignore", MarvoltAction::kIgnore},
    };
    for (const Word& word : kWords) {
        if (EqualsIgnoringCase(parameter, word.text))
            return word.action;
    }
    return std::nullopt;
}

MarvoltCommandLine ParseMarvoltCommandLine(const std::vector<std::string>& parameters) {
    MarvoltCommandLine result;
    for (const std::string& parameter : parameters) {
        if (const auto action = ParseActionWord(parameter)) {
            result.action = *action;
        } else if (!IsFlag(parameter) && !parameter.empty() && !result.document) {
            result.document = parameter;
        }
    }
    return result;
}

MarvoltSettings ParseMarvoltSettings(std::string_view text) {
    MarvoltSettings settings;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (line.find("prevresearch") != std::string_view::npos) {
            settings.prevalence_research = NumberIsNotZero(ValueOf(line));
        } else if (line.find("guid") != std::string_view::npos) {
            settings.machine_id = std::string(ValueOf(line));
        } else if (line.find("truncate") != std::string_view::npos) {
            settings.truncate = NumberIsNotZero(ValueOf(line));
        }
    }
    return settings;
}

}  // namespace olvex
