#include "client/main/command_line.h"

#include <cctype>
#include <utility>

namespace olvex {
namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

// Whether text begins with word, case ignored; shorter text never does.
bool BeginsWith(std::string_view text, std::string_view word) {
    return text.size() >= word.size() && Lower(text.substr(0, word.size())) == word;
}

}  // namespace

CGorsewatch5CommandLineInfo::CGorsewatch5CommandLineInfo(CommandLineSwitchWords words)
    : words_(std::move(words)) {
    // Compared in lower case: the words are too.
    for (std::string* word : {&words_.scan, &words_.show_quarantine, &words_.show_exclusions})
        *word = Lower(*word);
}

void CGorsewatch5CommandLineInfo::ParseParam(std::string_view param, bool is_flag, bool is_last) {
    if (!is_flag) {
        ParseShellParam(param, is_flag);
        return;
    }
    // As many characters as the scan word has, or the whole switch when it
    // is shorter: "/sca" compares "sca" with "scan" and fails.
    const std::string lower = Lower(param);
    if (!words_.scan.empty() && lower.substr(0, words_.scan.size()) == words_.scan) {
        requests_.scan = 1;
        return;
    }
    if (!words_.show_quarantine.empty() && BeginsWith(param, words_.show_quarantine)) {
        requests_.show_quarantine = 1;
        return;
    }
    if (!words_.show_exclusions.empty() && BeginsWith(param, words_.show_exclusions)) {
        requests_.show_exclusions = 1;
        return;
    }
    ParseShellParam(param, is_flag);
}

void CGorsewatch5CommandLineInfo::ParseShellParam(std::string_view param, bool is_flag) {
    // The program has no printing, automation or registration of its own:
    // the shell's other switches change nothing.
    if (!is_flag && !param.empty() && !file_name_)
        file_name_ = std::string(param);
}

CGorsewatch5CommandLineInfo ParseGorsewatch5CommandLine(const std::vector<std::string>& parameters,
                                                        CommandLineSwitchWords words) {
    CGorsewatch5CommandLineInfo info(std::move(words));
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        std::string_view param = parameters[i];
        const bool is_flag = !param.empty() && (param.front() == '/' || param.front() == '-');
        if (is_flag)
            param.remove_prefix(1);
        info.ParseParam(param, is_flag, i + 1 == parameters.size());
    }
    return info;
}

}  // namespace olvex
