// Closing other programs before their files are replaced: windows found by
// class and title, asked to close and waited for; commands run and waited
// for.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>

namespace olvex::setup {

// The window when it still exists after up to `tries` requests (each one
// followed by a wait of 3 seconds for it to go), else null. A class or
// title that is empty is not compared. A hung window does not hold setup:
// each request gives up after about 5 seconds.
HWND CloseWindowByTitle(std::u16string_view window_class, std::u16string_view title, UINT message,
                        int tries);

// Polls for the window every 100 ms (250 ms for waits of 16 seconds or
// more) until it is gone or the seconds have passed; 0 waits without
// limit. The window when it is still there.
HWND WaitWhileWindowExists(uint32_t seconds, std::u16string_view window_class,
                           std::u16string_view title);

// Starts the command and waits for it; nothing when it cannot start.
void RunAndWait(std::u16string_view command);

}  // namespace olvex::setup
