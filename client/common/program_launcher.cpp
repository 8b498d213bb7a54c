#include "client/common/program_launcher.h"

#include <vector>

namespace olvex {
namespace {

bool IsFullPath(const std::string& path) {
    const bool drive = path.size() >= 3 &&
                       ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                       path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    const bool share = path.size() >= 3 && path[0] == '\\' && path[1] == '\\';
    return drive || share;
}

}  // namespace

std::optional<std::string> ProgramCommandLine(const std::string& path,
                                              const std::string& arguments) {
    if (!IsFullPath(path) || path.find('"') != std::string::npos)
        return std::nullopt;
    std::string command_line = "\"" + path + "\"";
    if (!arguments.empty())
        command_line += " " + arguments;
    return command_line;
}

std::optional<StartedProgram> StartProgram(const std::string& path, const std::string& arguments,
                                           const std::string& working_folder) {
    const auto command_line = ProgramCommandLine(path, arguments);
    if (!command_line)
        return std::nullopt;
    std::vector<char> writable(command_line->begin(), command_line->end());
    writable.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(path.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        working_folder.empty() ? nullptr : working_folder.c_str(), &startup,
                        &process))
        return std::nullopt;
    CloseHandle(process.hThread);
    StartedProgram started;
    started.process.reset(process.hProcess);
    started.process_id = process.dwProcessId;
    return started;
}

}  // namespace olvex
