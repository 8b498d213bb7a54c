// The check of a program group: a folder below the Programs folder of the
// Start menu that setup creates, fills with its shortcuts and later
// removes again.
#pragma once

#include <string_view>

namespace olvex::setup {

// Whether the group stays below the Programs folder and names an ordinary
// folder there: not empty; no drive or ':', no leading backslash, no '/',
// no characters a file name cannot hold; no empty, "." or ".." part and no
// part that Windows would shorten to one (trailing dots and blanks); no
// device name (CON, NUL, COM1, ...) as a part, with or without extension.
bool IsAcceptableProgramGroup(std::u16string_view group);

}  // namespace olvex::setup
