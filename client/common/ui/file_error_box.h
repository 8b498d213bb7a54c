// The one box in which the client programs report a text file that could not
// be read or written: the cause and the path, in the product's words.
#pragma once

#include <windows.h>

#include "client/common/ui/text_file.h"

namespace olvex::ui {

// Shows the error with the product's title (nothing for no error); the
// button pressed, 0 when nothing was shown.
int ShowFileErrorBox(const TextFileError& error, HWND owner = nullptr);

}  // namespace olvex::ui
