// Dunmere.exe, the update utility the updater starts after a download:
//   Dunmere.exe [/installupdate]
// It closes the other programs of the product, applies the downloaded
// updates and starts the closed programs again (not with /installupdate:
// setup starts them itself).
#include <windows.h>

#include "client/common/start_up.h"
#include "client/update/dunmere_app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // First of all: a second copy started a moment later must see it.
    olvex::NamedMutex instance_mutex =
        olvex::ClaimNamedMutex(olvex::update_utility::kInstanceMutexName);
    olvex::CDunmereApp app(instance, std::move(instance_mutex));
    return app.Run(olvex::CommandLineParameters());
}
