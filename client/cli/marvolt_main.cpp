// Marvolt.exe, the command-line scanner that scheduled scans start:
//   Marvolt.exe [/quarantine | /exclude | /delete | /ignore]
// One run scans, applies the action to every pest found and ends; its exit
// code (MarvoltExitCode) tells whether a scan ran and how it went.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "client/common/com_text.h"
#include "client/cli/marvolt_app.h"

namespace {

std::vector<std::string> Parameters() {
    std::vector<std::string> parameters;
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr)
        return parameters;
    for (int i = 1; i < count; ++i)
        parameters.push_back(olvex::NarrowText(std::wstring(arguments[i])));
    LocalFree(arguments);
    return parameters;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    olvex::CMarvoltApp app(instance);
    return app.Run(Parameters());
}
