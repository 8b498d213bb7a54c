// Test helper for the restart test: runs one whole update the way a client
// does, while a file the update replaces is held open, with programs set to
// run at the next start.
//   update_restart_probe <application folder> <temporary folder> <control file URL> <held file>
// Prints what it did; exits with 0 when every entry was applied and a
// restart is required.
#include <windows.h>

#include <cstdio>
#include <string>

#include "olvex/com/bstr.h"
#include "olvex/com/com_ptr.h"
#include "olvex/com/engine_class.h"
#include "win/unique.h"
#include "olvex/olvex.h"

namespace {

olvex::com::UniqueBstr Bstr(const char* text) {
    olvex::com::UniqueBstr bstr;
    olvex::com::BstrFromAnsi(text, bstr.Put());
    return bstr;
}

int Run(const char* app, const char* temp, const char* url, const char* held) {
    const olvex::win::UniqueHandle in_use(
        CreateFileA(held, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!in_use) {
        std::printf("cannot hold %s\n", held);
        return 2;
    }
    olvex::com::ComPtr<IUpdater> updater;
    if (FAILED(olvex::com::CreateEngineObject(CLSID_Updater, updater.Put())))
        return 2;
    VARIANT_BOOL ok = VARIANT_FALSE;
    updater->InitializeEx(Bstr(app).Get(), Bstr(url).Get(), 0, nullptr, nullptr, &ok);
    updater->put_vbExecuteAtReboot(VARIANT_TRUE);
    LONG count = 0, bytes = 0, received = 0, applied = 0;
    updater->CheckForUpdates(&count, &bytes);
    updater->DownloadUpdates(Bstr(temp).Get(), nullptr, &received);
    updater->ApplyUpdates(Bstr(temp).Get(), &applied);
    VARIANT_BOOL reboot = VARIANT_FALSE;
    updater->IsRebootRequired(&reboot);
    olvex::com::UniqueBstr error;
    updater->get_bsLastError(error.Put());
    std::string text;
    olvex::com::AnsiFromBstr(error.Get(), text);
    std::printf("available %ld, received %ld, applied %ld, restart %s, last error \"%s\"\n", count,
                received, applied, reboot == VARIANT_TRUE ? "required" : "not required",
                text.c_str());
    return count > 0 && received == count && applied == count && reboot == VARIANT_TRUE ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5)
        return 2;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const int code = Run(argv[1], argv[2], argv[3], argv[4]);
    CoUninitialize();
    return code;
}
