// file_locker.exe PATH [--seconds N] [--ready EVENT] [--until EVENT]
// Opens the file (made when missing) for reading and writing with no
// sharing, so every other open fails with a sharing violation, signals
// EVENT, and keeps it N seconds (default 60) or until the event --until is
// signalled. Exit code 0, or 2 when the file could not be opened.
#include <windows.h>

#include "helper_options.h"

int wmain() {
    const olvex::gui::HelperOptions options({});
    if (options.plain().size() != 1)
        return 2;
    HANDLE file = CreateFileW(options.plain()[0].c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 2;
    olvex::gui::SignalEvent(options.Get(L"--ready"));
    olvex::gui::WaitForTheEnd(options.Number(L"--seconds", 60), options.Get(L"--until"));
    CloseHandle(file);
    return 0;
}
