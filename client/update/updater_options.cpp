#include "client/update/updater_options.h"

#include <array>
#include <limits>

namespace olvex {
namespace {

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool BeginsWithIgnoringCase(std::string_view text, std::string_view word) {
    if (text.size() < word.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (LowerAscii(text[i]) != word[i])
            return false;
    }
    return true;
}

std::string_view TrimTrailingBlanks(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                             text.back() == '\n'))
        text.remove_suffix(1);
    return text;
}

// What follows the line's first "=" (the whole line without one), trailing
// blanks removed.
std::string_view ValueOf(std::string_view line) {
    const std::size_t equals = line.find('=');
    return TrimTrailingBlanks(equals == std::string_view::npos ? line : line.substr(equals + 1));
}

template <typename Visit>
void ForEachLine(std::string_view text, Visit&& visit) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        visit(text.substr(0, end));
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
}

// A decimal number as atol reads one (leading blanks, a sign, digits as far
// as they go), held to 64 bits.
std::int64_t ReadDecimal(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t'))
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+'))
        negative = text[at++] == '-';
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    std::int64_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        const int digit = text[at] - '0';
        if (value > (kMax - digit) / 10)
            return negative ? std::numeric_limits<std::int64_t>::min() : kMax;
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

}  // namespace

PelloryCommandLine ParsePelloryCommandLine(const std::vector<std::string>& parameters) {
    static constexpr std::array<std::string_view, 3> kOptions = {"autoupdate", "installupdate",
                                                                 "noninteractive"};
    PelloryCommandLine result;
    for (const std::string& parameter : parameters) {
        const bool flag = !parameter.empty() && (parameter[0] == '/' || parameter[0] == '-');
        if (!flag) {
            result.invalid = !parameter.empty();
            continue;
        }
        const std::string_view word = std::string_view(parameter).substr(1);
        bool* const options[] = {&result.autoupdate, &result.installupdate, &result.noninteractive};
        bool matched = false;
        for (std::size_t i = 0; i < kOptions.size() && !matched; ++i) {
            if (BeginsWithIgnoringCase(word, kOptions[i])) {
                *options[i] = true;
                matched = true;
            }
        }
        if (!matched)
            result.invalid = !result.any_option();
    }
    return result;
}

UpdaterSettings ParseUpdaterSettings(std::string_view text) {
    UpdaterSettings settings;
    ForEachLine(text, [&](std::string_view line) {
        if (line.find("lastupdate") != std::string_view::npos) {
            settings.last_update = ReadDecimal(ValueOf(line));
        } else if (line.find("updateproc") != std::string_view::npos) {
            const std::string_view value = ValueOf(line);
            settings.procedure = value == "1"   ? UpdateProcedure::kInstallAutomatically
                                 : value == "3" ? UpdateProcedure::kManualOnly
                                                : UpdateProcedure::kNotifyFirst;
        }
    });
    return settings;
}

std::string FormatUpdaterSettings(const UpdaterSettings& settings) {
    return std::string("updateproc=") + static_cast<char>(settings.procedure) +
           "\nlastupdate=" + std::to_string(settings.last_update) + "\n";
}

std::optional<ChannelUrls> ParseChannelUrls(std::string_view text) {
    if (text.empty())
        return std::nullopt;
    ChannelUrls urls;
    ForEachLine(text, [&](std::string_view line) {
        if (line.find("coreurl") != std::string_view::npos)
            urls.core = ValueOf(line);
        else if (line.find("progurl") != std::string_view::npos)
            urls.program = ValueOf(line);
        else if (line.find("tromburl") != std::string_view::npos)
            urls.suite = ValueOf(line);
    });
    return urls;
}

StartupDecision DecideStartup(const PelloryCommandLine& command_line, std::int64_t now,
                              const UpdaterSettings& settings) {
    if (!command_line.any_option())
        return {StartupAction::kShowMainDialog, false};
    if (command_line.noninteractive)
        return {StartupAction::kSilentUpdate, true};
    // A last update in the future means the clock was set back: due now, or
    // daily updates would stop until the clock caught up.
    const bool due = settings.last_update > now || settings.last_update <= now - kSecondsPerDay;
    if (!command_line.installupdate) {
        // The daily start from the background protection does what the user
        // chose: a manual choice must never close the user's windows for an
        // update he did not ask for.
        if (!due)
            return {StartupAction::kNothing, false};
        switch (settings.procedure) {
            case UpdateProcedure::kInstallAutomatically:
                return {StartupAction::kSilentUpdate, true};
            case UpdateProcedure::kNotifyFirst:
                return {StartupAction::kPromptedUpdate, true};
            case UpdateProcedure::kManualOnly:
                break;
        }
        return {StartupAction::kNothing, false};
    }
    if (due)
        return {StartupAction::kSilentUpdate, true};
    switch (settings.procedure) {
        case UpdateProcedure::kInstallAutomatically:
            return {StartupAction::kAutoApply, true};
        case UpdateProcedure::kNotifyFirst:
            return {StartupAction::kPromptedUpdate, true};
        case UpdateProcedure::kManualOnly:
            break;
    }
    return {StartupAction::kNothing, false};
}

}  // namespace olvex
