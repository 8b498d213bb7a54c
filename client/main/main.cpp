// Gorsewatch5.exe, the main program of Kelvan Gorsewatch:
//   Gorsewatch5.exe [/scan] [/showquarantine] [/showexclusions] [document]
#include <windows.h>

#include "client/main/gorsewatch5_app.h"
#include "client/main/test_hooks.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    olvex::CGorsewatch5App app(instance);
    const olvex::TestHooksHandle hooks = olvex::InstallTestHooks(app);
    if (app.InitInstance())
        app.Run();
    return app.ExitInstance();
}
