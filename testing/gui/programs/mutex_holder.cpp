// mutex_holder.exe NAME... [--seconds N] [--ready EVENT] [--until EVENT]
// Makes and owns the named mutexes, signals EVENT when it holds them all,
// and keeps them N seconds (default 60) or until the event --until is
// signalled. Exit code 0, or 2 when a mutex existed already or could not be
// made (then it holds none and signals nothing).
#include <windows.h>

#include <vector>

#include "helper_options.h"

int wmain() {
    const olvex::gui::HelperOptions options({});
    std::vector<HANDLE> held;
    bool made_all = !options.plain().empty();
    for (const auto& name : options.plain()) {
        HANDLE mutex = CreateMutexW(nullptr, TRUE, name.c_str());
        const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
        if (!mutex || existed) {
            made_all = false;
            if (mutex)
                CloseHandle(mutex);
            break;
        }
        held.push_back(mutex);
    }
    if (made_all) {
        olvex::gui::SignalEvent(options.Get(L"--ready"));
        olvex::gui::WaitForTheEnd(options.Number(L"--seconds", 60), options.Get(L"--until"));
    }
    for (const HANDLE mutex : held) {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
    return made_all ? 0 : 2;
}
