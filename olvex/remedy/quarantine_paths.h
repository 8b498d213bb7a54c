// Checks on the paths the quarantine is handed: the container named by an
// item record (it must lie directly in the quarantine folder) and the place a
// restore writes to (it must be an absolute path on a local drive). Records
// and items can come from a damaged or crafted database, or from a client
// that filled an item object itself; these checks keep the quarantine from
// touching anything outside its folder or writing to a device or a share.
#pragma once

#include <string>
#include <string_view>

#include "olvex/core/multibyte_text.h"

namespace olvex {

// Whether path names an entry directly inside folder: the folder (compared
// without regard to ASCII case), one separator and a plain name that is not
// "." or "..", holds no separator, colon or wildcard, and is not one of the
// quarantine's own database files.
bool IsQuarantineContainerPath(std::string_view path, std::string_view folder,
                               const MultiByteText& mb);

// Whether path is a drive letter, a colon and a backslash followed by one or
// more plain components: no "." or ".." component, no device name (CON, NUL, COM1, ...),
// no second colon, no wildcard, quote, angle bracket, pipe or control byte.
// Forward slashes count as separators.
bool IsAbsoluteLocalPath(std::string_view path, const MultiByteText& mb);

// Text up to the first "|" of a File attribute value (the rest names a part
// inside the file).
std::string FilePartOfFileValue(std::string_view value, const MultiByteText& mb);

}  // namespace olvex
