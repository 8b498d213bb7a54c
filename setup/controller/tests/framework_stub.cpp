// A framework build that lacks its folder browser (ordinal 15): the setup
// program must refuse it whole. Every other entry does nothing.
#include <windows.h>

extern "C" {
int __cdecl StubInitializeEx(const WCHAR*, const WCHAR*) {
    return 1;
}
int __cdecl StubNothing() {
    return 0;
}
}
