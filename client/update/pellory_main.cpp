// Pellory.exe, the updater:
//   Pellory.exe [-autoupdate | /installupdate | /noninteractive]
#include <windows.h>

#include "client/common/start_up.h"
#include "client/update/pellory_app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    olvex::CPelloryApp app(instance);
    app.Run(olvex::CommandLineParameters());
    return 0;
}
