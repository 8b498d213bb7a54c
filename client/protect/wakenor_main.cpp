// Wakenor.exe: the background protection program.
#include <windows.h>

#include "client/protect/wakenor_app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    olvex::protect::CWakenorApp app(instance);
    app.Run();
    return 0;
}
