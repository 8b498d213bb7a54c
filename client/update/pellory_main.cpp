// Pellory.exe, the updater:
//   Pellory.exe [-autoupdate | /installupdate | /noninteractive]
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "client/common/com_text.h"
#include "client/update/pellory_app.h"

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
    olvex::CPelloryApp app(instance);
    app.Run(Parameters());
    return 0;
}
