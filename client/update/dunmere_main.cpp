// Dunmere.exe, the update utility the updater starts after a download:
//   Dunmere.exe [/installupdate]
// It closes the other programs of the product, applies the downloaded
// updates and starts the closed programs again (not with /installupdate:
// setup starts them itself).
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "client/common/com_text.h"
#include "client/update/dunmere_app.h"

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
    // First of all: a second copy started a moment later must see it.
    olvex::NamedMutex instance_mutex =
        olvex::ClaimNamedMutex(olvex::update_utility::kInstanceMutexName);
    olvex::CDunmereApp app(instance, std::move(instance_mutex));
    return app.Run(Parameters());
}
