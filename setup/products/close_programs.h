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

// The top-level window of that class and title (an empty one is not
// compared); null when there is none.
HWND FindWindowByClassAndTitle(std::u16string_view window_class, std::u16string_view title);
// Whether a named mutex exists: it is opened only to look.
bool MutexExists(std::u16string_view name);
// Waits up to timeout_ms until the program holding the mutex lets it go
// (or ends); nothing when the mutex does not exist.
void WaitForMutexRelease(std::u16string_view name, uint32_t timeout_ms);
// Whether the HKLM Run value exists and is not empty.
bool RunValueCounts(std::u16string_view name);
// Asks the service to stop and gives it about half a second to report
// that it has; a service that cannot be opened is left alone.
void StopServiceBriefly(std::u16string_view name);

}  // namespace olvex::setup
