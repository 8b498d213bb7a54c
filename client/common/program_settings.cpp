#include "client/common/program_settings.h"

#include <array>
#include <climits>

namespace olvex {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view TrimTrailingBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// The text after the first "=", or the whole line without one, less
// trailing blanks.
std::string_view ValueOf(std::string_view line) {
    const std::size_t equals = line.find('=');
    if (equals != std::string_view::npos)
        line.remove_prefix(equals + 1);
    return TrimTrailingBlanks(line);
}

int SettingValue(std::string_view value) {
    const long number = ParseLeadingLong(value);
    if (number > INT_MAX)
        return INT_MAX;
    if (number < INT_MIN)
        return INT_MIN;
    return static_cast<int>(number);
}

const char* Flag(int value) {
    return value != 0 ? "1" : "0";
}

}  // namespace

long ParseLeadingLong(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && IsBlank(text[at]))
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    // Counted up to one past the largest long, and held there.
    const unsigned long long limit = static_cast<unsigned long long>(LONG_MAX) + 1;
    unsigned long long value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        const unsigned digit = static_cast<unsigned>(text[at] - '0');
        value = value > (limit - digit) / 10 ? limit : value * 10 + digit;
    }
    if (negative)
        return value >= limit ? LONG_MIN : -static_cast<long>(value);
    return value >= limit ? LONG_MAX : static_cast<long>(value);
}

void ApplyProgramSettingsText(std::string_view text, ProgramSettings& settings) {
    bool any_line = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        any_line = true;

        static constexpr std::array<std::string_view, 5> kKeys = {
            "errorsound", "donesound", "prevresearch", "guid", "truncate"};
        std::size_t key = kKeys.size();
        for (std::size_t k = 0; k < kKeys.size(); ++k) {
            if (line.find(kKeys[k]) != std::string_view::npos) {
                key = k;
                break;
            }
        }
        const std::string_view value = ValueOf(line);
        switch (key) {
            case 0:
                settings.errorsound = SettingValue(value);
                break;
            case 1:
                settings.donesound = SettingValue(value);
                break;
            case 2:
                settings.prevresearch = SettingValue(value);
                break;
            case 3:
                if (value.empty())
                    settings.guid.reset();
                else
                    settings.guid = std::string(value);
                break;
            case 4:
                settings.truncate = SettingValue(value);
                break;
            default:
                break;  // no key: passed over
        }
    }
    if (!any_line) {
        settings.errorsound = 0;
        settings.donesound = 0;
    }
}

void OversizedProgramSettingsReader::Feed(std::string_view bytes) {
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        const std::string_view part = bytes.substr(0, end);
        if (!line_too_long_ && line_.size() + part.size() <= kMaxProgramSettingsLine)
            line_ += part;
        else
            line_too_long_ = true;
        if (end == std::string_view::npos)
            return;
        bytes.remove_prefix(end + 1);
        if (!line_too_long_ && !line_.empty())
            ApplyProgramSettingsText(line_, settings_);
        line_.clear();
        line_too_long_ = false;
    }
}

void OversizedProgramSettingsReader::Finish() {
    if (!line_too_long_ && !line_.empty())
        ApplyProgramSettingsText(line_, settings_);
    line_.clear();
    line_too_long_ = false;
}

std::string FormatProgramSettings(const ProgramSettings& settings) {
    std::string text;
    text += std::string("errorsound=") + Flag(settings.errorsound) + "\r\n";
    text += std::string("donesound=") + Flag(settings.donesound) + "\r\n";
    text += std::string("prevresearch=") + Flag(settings.prevresearch) + "\r\n";
    text += "guid=" + settings.guid.value_or(std::string()) + "\r\n";
    text += std::string("truncate=") + Flag(settings.truncate) + "\r\n";
    return text;
}

std::optional<std::string> ParseMachineIdText(std::string_view text) {
    if (text.empty())
        return std::nullopt;
    std::string_view line = text.substr(0, text.find('\n'));
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (line.find('"') != std::string_view::npos) {
        line.remove_suffix(1);
        if (!line.empty())
            line.remove_prefix(1);
    }
    if (line.empty())
        return std::nullopt;
    return std::string(line);
}

}  // namespace olvex
