// A DLL that a stand-in pest loads, so that it shows up as a module.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
