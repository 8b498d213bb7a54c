// Prints a definition file in readable form: every block header, what the
// engine's reader makes of the file, and the decoded records in the syntax of
// the definition source.
#pragma once

#include <cstdint>
#include <ostream>
#include <span>
#include <string>

namespace olvex::tools {

// True when the file reads back cleanly and every record decodes. The record
// layout is chosen by the file name ("qzinfo", "qzfile" or "qzloc").
bool DumpDefinitionFile(const std::string& path, std::ostream& out);
bool DumpDefinitionBytes(std::span<const std::uint8_t> bytes, const std::string& path,
                         std::ostream& out);

}  // namespace olvex::tools
