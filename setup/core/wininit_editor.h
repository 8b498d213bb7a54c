// The [Rename] section of WININIT.INI, which Windows 9x carries out at its
// next start: "NUL=<file>" deletes a file, "<new>=<old>" moves one.
#pragma once

#include <string>
#include <string_view>

namespace olvex::setup::util {

// The ini text with the line added at the end of its [Rename] section
// (found without regard to case); a text without one gets the section at
// its end. Everything else stays byte for byte.
std::string AddRenameLine(std::string_view ini, std::string_view line);

// The lines of the first [Rename] section, in order (tests and checks).
std::string RenameSectionText(std::string_view ini);

}  // namespace olvex::setup::util
