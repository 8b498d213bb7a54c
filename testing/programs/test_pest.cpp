// A stand-in pest: runs, optionally with a DLL loaded, until it is ended.
#include <windows.h>

#include <cstring>

int main(int argc, char** argv) {
    const char* ready = nullptr;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--load") == 0 && !LoadLibraryA(argv[i + 1]))
            return 2;
        if (std::strcmp(argv[i], "--ready") == 0)
            ready = argv[i + 1];
    }
    if (ready) {
        HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, ready);
        if (!event)
            return 3;
        SetEvent(event);
        CloseHandle(event);
    }
    Sleep(120000);
    return 1;
}
