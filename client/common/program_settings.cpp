#include "client/common/program_settings.h"

#include <cstdint>

namespace olvex {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view ValueOf(std::string_view line, std::size_t equals) {
    std::string_view value = line.substr(equals + 1);
    while (!value.empty() && IsBlank(value.back()))
        value.remove_suffix(1);
    return value;
}

bool Contains(std::string_view line, std::string_view key) {
    return line.find(key) != std::string_view::npos;
}

}  // namespace

std::int32_t SettingNumber(std::string_view value) {
    std::size_t at = 0;
    while (at < value.size() && (IsBlank(value[at]) || value[at] == '\n' || value[at] == '\r' ||
                                 value[at] == '\v' || value[at] == '\f'))
        ++at;
    bool negative = false;
    if (at < value.size() && (value[at] == '+' || value[at] == '-')) {
        negative = value[at] == '-';
        ++at;
    }
    // Saturates rather than overflowing, as no setting comes near it.
    std::int64_t number = 0;
    for (; at < value.size() && value[at] >= '0' && value[at] <= '9'; ++at) {
        number = number * 10 + (value[at] - '0');
        if (number > INT32_MAX)
            number = std::int64_t{INT32_MAX} + 1;
    }
    if (negative)
        number = -number;
    if (number > INT32_MAX)
        number = INT32_MAX;
    return static_cast<std::int32_t>(number);
}

ProgramSettings ParseProgramSettings(std::string_view text) {
    ProgramSettings settings;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;  // no value: the line names nothing
        const std::string_view value = ValueOf(line, equals);
        if (Contains(line, "errorsound")) {
            settings.error_sound = SettingNumber(value);
        } else if (Contains(line, "donesound")) {
            settings.done_sound = SettingNumber(value);
        } else if (Contains(line, "prevresearch")) {
            settings.prevalence_research = SettingNumber(value);
        } else if (Contains(line, "guid")) {
            settings.machine_id = std::string(value);
        } else if (Contains(line, "truncate")) {
            settings.truncate = SettingNumber(value);
        }
    }
    return settings;
}

}  // namespace olvex
