#include "client/protect/wakenor_options.h"

#include "client/common/program_settings.h"

namespace olvex::protect {
namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

bool StartsWith(std::string_view text, std::string_view keyword) {
    return !keyword.empty() && text.substr(0, keyword.size()) == keyword;
}

}  // namespace

bool ApplyWakenorFlag(std::string_view flag, const WakenorKeywords& keywords,
                      WakenorCommandLine& command_line) {
    const std::string text = Lower(flag);
    if (StartsWith(text, keywords.log_path)) {
        command_line.log_path = text.substr(keywords.log_path.size());
        return true;
    }
    if (StartsWith(text, keywords.data_path)) {
        command_line.data_path = text.substr(keywords.data_path.size());
        return true;
    }
    if (StartsWith(text, keywords.silent)) {
        command_line.silent = true;
        return true;
    }
    return false;
}

WakenorCommandLine ParseWakenorCommandLine(const std::vector<std::string>& parameters,
                                           const WakenorKeywords& keywords) {
    WakenorCommandLine command_line;
    for (const std::string& parameter : parameters) {
        if (parameter.empty() || (parameter.front() != '/' && parameter.front() != '-'))
            continue;
        ApplyWakenorFlag(std::string_view(parameter).substr(1), keywords, command_line);
    }
    return command_line;
}

ProtectionProgramSettings ReadProtectionProgramSettings(std::string_view text) {
    // The shared reader counts a "guid" line with an empty value as no id.
    // A line break never survives as a value, so starting from one tells
    // "no guid line" from "an empty one".
    constexpr char kNoGuidLine[] = "\n";
    ProgramSettings settings;
    settings.guid = kNoGuidLine;
    ApplyProgramSettingsText(text, settings);
    ProtectionProgramSettings read;
    read.prevalence_research = settings.prevresearch;
    read.truncate = settings.truncate;
    if (!settings.guid)
        read.machine_id = std::string();
    else if (*settings.guid != kNoGuidLine)
        read.machine_id = settings.guid;
    return read;
}

}  // namespace olvex::protect
