// Marvolt.exe, the command-line scanner that scheduled scans start:
//   Marvolt.exe [/quarantine | /exclude | /delete | /ignore]
// One run scans, applies the action to every pest found and ends; its exit
// code (MarvoltExitCode) tells whether a scan ran and how it went.
#include <windows.h>

#include "client/common/start_up.h"
#include "client/cli/marvolt_app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    olvex::CMarvoltApp app(instance);
    return app.Run(olvex::CommandLineParameters());
}
