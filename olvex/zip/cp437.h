// Entry names and comments of zip archives without the UTF-8 flag are in the
// OEM code page 437. The engine works in the ANSI code page; on Windows the
// caller goes through UTF-16, elsewhere UTF-8 is what callers want.
#pragma once

#include <string>
#include <string_view>

namespace olvex {

// Code page 437 bytes to UTF-8 (bytes below 0x80 are ASCII and kept).
std::string Cp437ToUtf8(std::string_view text);

}  // namespace olvex
