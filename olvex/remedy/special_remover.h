// The hand-off to the scripted remover "qzclean.exe", which lies beside its
// index "qzsrindex.dat" in the QZClean folder: the index is read, and the
// program is started hidden with the pest's parameters and waited for.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "olvex/remedy/special_remover_index.h"

namespace olvex {

// folder\qzsrindex.dat read and parsed; nullopt when it cannot be read.
std::optional<std::vector<SpecialRemoverEntry>> LoadSpecialRemoverIndex(const std::string& folder);

struct ScriptedRemoverRun {
    bool started = false;
    std::string error;    // why it did not start
    DWORD exit_code = 0;  // when it ran
};

// Starts folder\qzclean.exe with the parameters (hidden, no working folder),
// waits for it without a time limit and takes its exit code.
ScriptedRemoverRun RunScriptedRemover(const std::string& folder, const std::string& parameters);

}  // namespace olvex
