// Start-up steps the client programs share.
#pragma once

#include <string>
#include <vector>

namespace olvex {

// The program's command line after its own name, split as the shell splits
// it, each parameter in the ANSI code page.
std::vector<std::string> CommandLineParameters();

}  // namespace olvex
