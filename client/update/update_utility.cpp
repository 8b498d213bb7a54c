#include "client/update/update_utility.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace olvex::update_utility {
namespace {

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

std::size_t IndexOf(Program program) {
    return static_cast<std::size_t>(program);
}

}  // namespace

Options ParseCommandLine(const std::vector<std::string>& arguments) {
    Options options;
    for (const std::string& argument : arguments) {
        if (argument.size() < 2 || (argument[0] != '/' && argument[0] != '-'))
            continue;
        if (StartsWithIgnoringCase(std::string_view(argument).substr(1), "installupdate"))
            options.installupdate = true;
    }
    return options;
}

CloseOutcome ClosePrograms(ProgramWindows& windows) {
    CloseOutcome outcome;
    for (const ProgramToClose& program : kProgramsToClose) {
        ProgramWindows::WindowId last = 0;
        bool gone = false;
        for (int attempt = 0; attempt < program.attempts; ++attempt) {
            const ProgramWindows::WindowId window = windows.Find(program.title);
            if (window == 0) {
                gone = true;
                break;
            }
            last = window;
            outcome.was_running[IndexOf(program.program)] = true;
            windows.SendClose(window);
            windows.Sleep(kCloseSpacingMs);
        }
        if (last == 0)
            continue;
        // The last attempt's WM_CLOSE may have been the one that worked.
        if (!gone)
            gone = windows.Find(program.title) == 0;
        if (gone)
            windows.WaitForProgramEnd(last, kProgramEndWaitMs);
        else
            outcome.left_running[IndexOf(program.program)] = true;
    }
    return outcome;
}

std::vector<std::string> ProgramsToRestart(const CloseOutcome& outcome, const Options& options) {
    std::vector<std::string> files;
    if (options.installupdate)
        return files;
    for (const Program program : kRestartOrder) {
        const ProgramToClose& entry = kProgramsToClose[IndexOf(program)];
        if (outcome.was_running[IndexOf(program)] && entry.program_file != nullptr)
            files.emplace_back(entry.program_file);
    }
    return files;
}

}  // namespace olvex::update_utility
