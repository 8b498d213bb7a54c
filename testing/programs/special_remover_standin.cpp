// A stand-in for the scripted remover "qzclean.exe", so that the
// exterminator's hand-off runs for real in the tests and the demo.
//
//   qzclean.exe /clean [/silent] /<instructions>
//
// The instructions are the special-remover index's entry texts for one pest,
// joined without separators; each instruction ends with ";":
//   delete:<absolute path>;   deletes that file
//   exit:<number>;            the exit code (the last one counts; 0 without)
// Anything else is logged as not understood.
//
// It appends to "qzcleanlog.csv" in the folder above its own (the install
// folder, where the main program picks the clean log up for the activity
// log), in the activity log's line format: first a line whose location is
// the parameters exactly as received, then one line per instruction.
// A command line that does not start with /clean changes nothing and exits
// with 87 (invalid parameter).
#include <windows.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "client/common/activity_log.h"

namespace {

constexpr int kBadCommandLine = 87;
constexpr char kLogName[] = "qzcleanlog.csv";
constexpr char kPestName[] = "Scripted removal";
constexpr char kCategory[] = "(Special remover)";

// The command line after the program's own name.
std::string_view Parameters() {
    std::string_view line = GetCommandLineA();
    if (!line.empty() && line.front() == '"') {
        const auto close = line.find('"', 1);
        line = close == std::string_view::npos ? std::string_view() : line.substr(close + 1);
    } else {
        const auto blank = line.find(' ');
        line = blank == std::string_view::npos ? std::string_view() : line.substr(blank);
    }
    while (!line.empty() && line.front() == ' ')
        line.remove_prefix(1);
    return line;
}

std::string LogPath() {
    std::vector<char> path(32768);
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    std::string own(path.data(), length);
    // Two levels up: past the program's name and its own folder.
    for (int level = 0; level < 2; ++level) {
        const auto slash = own.find_last_of('\\');
        own = slash == std::string::npos ? std::string() : own.substr(0, slash);
    }
    return own + "\\" + kLogName;
}

olvex::ActivityLogEntry Entry(const std::string& action, const std::string& location) {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    FILETIME time{};
    SystemTimeToFileTime(&now, &time);
    char date[128] = {};
    char clock[128] = {};
    GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &now, nullptr, date, sizeof date);
    GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &now, nullptr, clock, sizeof clock);
    olvex::ActivityLogEntry entry;
    entry.date_time = std::string(date) + "-" + clock;
    entry.time = (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    entry.action = action;
    entry.pest_name = kPestName;
    entry.category = kCategory;
    entry.pest_id = 0;
    entry.location = location;
    entry.pvt = -1;
    return entry;
}

void AppendLog(const std::vector<olvex::ActivityLogEntry>& entries) {
    const std::string text = olvex::FormatActivityLogLines(entries);
    const HANDLE log = CreateFileA(LogPath().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                   OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(log, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(log);
}

}  // namespace

int main() {
    const std::string parameters(Parameters());
    std::string_view rest = parameters;
    if (!rest.starts_with("/clean"))
        return kBadCommandLine;
    rest.remove_prefix(6);
    if (rest.starts_with(" /silent"))
        rest.remove_prefix(8);
    if (!rest.starts_with(" /"))
        return kBadCommandLine;
    rest.remove_prefix(2);

    std::vector<olvex::ActivityLogEntry> log = {Entry("Scripted removal started", parameters)};
    int exit_code = 0;
    while (!rest.empty()) {
        const auto end = rest.find(';');
        const std::string instruction(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (instruction.starts_with("delete:")) {
            const std::string path = instruction.substr(7);
            const bool deleted = DeleteFileA(path.c_str()) != 0;
            log.push_back(Entry(deleted ? "Deleted" : "Not deleted", path));
        } else if (instruction.starts_with("exit:")) {
            exit_code = std::atoi(instruction.c_str() + 5);
            log.push_back(Entry("Exit code", instruction.substr(5)));
        } else if (!instruction.empty()) {
            log.push_back(Entry("Not understood", instruction));
        }
    }
    AppendLog(log);
    return exit_code;
}
