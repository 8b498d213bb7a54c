// Starts another program of the product by the full path of its file. The
// path is quoted on the command line and also given as the program to run,
// so a blank in a folder name ("C:\Program Files\...") can never make
// Windows start "C:\Program.exe" instead.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "win/unique.h"

namespace olvex {

struct StartedProgram {
    win::UniqueHandle process;
    DWORD process_id = 0;
};

// The command line: the quoted path, then the arguments after a blank.
// Nullopt for a path that is not full (a drive or a share) or holds a quote.
std::optional<std::string> ProgramCommandLine(const std::string& path,
                                              const std::string& arguments);

// Starts the program without waiting for it; nullopt when it cannot be
// started. With a working folder, the program starts there.
std::optional<StartedProgram> StartProgram(const std::string& path,
                                           const std::string& arguments = {},
                                           const std::string& working_folder = {});

}  // namespace olvex
