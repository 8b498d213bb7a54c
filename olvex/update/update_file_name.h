// Names that arrive from the update server (control file entries, delta index
// URLs, downloads found in the temporary folder) become file names in the
// application and temporary folders. A name is used only when it is a plain
// file name there: no folder part, no drive, no parent folder, nothing that
// Windows reads as a device or silently rewrites.
#pragma once

#include <cstddef>
#include <string_view>

namespace olvex {

// Longest name a control file entry may give (the entry's name field).
inline constexpr std::size_t kMaxUpdateFileNameChars = 255;

// True when name is a plain file name in the ANSI code page:
// - 1 to kMaxUpdateFileNameChars bytes;
// - no "\" or "/" (folder part, UNC prefix) and no ":" (drive, stream);
// - no control characters and none of < > " | ? *;
// - no trailing dot or blank (Windows drops them, so "x." would name "x" and
//   "..", "." and "..." would name folders);
// - not a device: CON, PRN, AUX, NUL, COM0-9, LPT0-9 (also with the
//   superscript digits 1-3), CONIN$, CONOUT$, CLOCK$, with or without an
//   extension and trailing blanks ("nul.txt", "con .log"), in any case.
bool IsSafeUpdateFileName(std::string_view name);

}  // namespace olvex
