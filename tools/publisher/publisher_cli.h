// The command line of olvex-publish, as a function the tests can call.
#pragma once

#include <ostream>
#include <span>
#include <string>

namespace olvex::tools {

// Runs one command line (without the program name). Returns the exit code:
// 0 done, 1 the input or a written/dumped file is wrong, 2 a usage error.
int RunPublisher(std::span<const std::string> args, std::ostream& out, std::ostream& err);

}  // namespace olvex::tools
