// Test helper: schedules restart-time moves the way the engine does, so that a
// test can restart a Wine prefix of its own and look at the result.
//   reboot_probe delete <path>
//   reboot_probe replace <source> <target>
//   reboot_probe exterminate-held <data folder> <path>
//       holds <path> open without sharing while the exterminator removes it
//       into its session: exits with 0 when the exterminator refused (the
//       session cannot keep the file, so it must stay)
//   reboot_probe exterminate-held-cookie <data folder> <path>
//       the same for a cookie file the client does not want kept: exits with
//       0 when its deletion was scheduled for the restart
// Otherwise exits with 0 when the move was scheduled.
#include <windows.h>

#include <cstring>
#include <string>

#include "olvex/com/bstr.h"
#include "olvex/com/com_ptr.h"
#include "olvex/com/engine_class.h"
#include "olvex/olvex.h"
#include "olvex/remedy/reboot_file_mover.h"

namespace {

// 0 when the exterminator gives the expected answer for a file held open.
int ExterminateHeld(const std::string& data_folder, const std::string& path, bool cookie) {
    if (FAILED(CoInitialize(nullptr)))
        return 3;
    int result = 1;
    {
        const HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        olvex::com::ComPtr<IExterminator> ext;
        olvex::com::UniqueBstr folder, location;
        const std::string text =
            cookie ? "Cookie \"tracker\" File \"" + path + "\"" : "File \"" + path + "\"";
        VARIANT_BOOL ok = VARIANT_FALSE;
        VARIANT_BOOL reboot = VARIANT_FALSE;
        if (held != INVALID_HANDLE_VALUE &&
            SUCCEEDED(olvex::com::CreateEngineObject(CLSID_Exterminator, ext.Put())) &&
            SUCCEEDED(olvex::com::BstrFromAnsi(data_folder, folder.Put())) &&
            SUCCEEDED(olvex::com::BstrFromAnsi(text, location.Put())) &&
            SUCCEEDED(ext->Initialize(folder.Get(), &ok)) && ok == VARIANT_TRUE &&
            SUCCEEDED(ext->put_vbQuarantineCookies(VARIANT_FALSE)) &&
            SUCCEEDED(ext->ExterminatePest(1001, location.Get(), VARIANT_FALSE, &ok)) &&
            SUCCEEDED(ext->IsRebootRequired(&reboot)))
            result = cookie ? (ok == VARIANT_TRUE && reboot == VARIANT_TRUE ? 0 : 1)
                            : (ok == VARIANT_FALSE && reboot == VARIANT_FALSE ? 0 : 1);
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
    }
    CoUninitialize();
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    olvex::CRebootFileMover mover;
    if (argc == 3 && std::strcmp(argv[1], "delete") == 0)
        return mover.DeleteFileAtReboot(argv[2]) ? 0 : 1;
    if (argc == 4 && std::strcmp(argv[1], "replace") == 0)
        return mover.ReplaceFileAtReboot(argv[2], argv[3]) ? 0 : 1;
    if (argc == 4 && std::strcmp(argv[1], "exterminate-held") == 0)
        return ExterminateHeld(argv[2], argv[3], false);
    if (argc == 4 && std::strcmp(argv[1], "exterminate-held-cookie") == 0)
        return ExterminateHeld(argv[2], argv[3], true);
    return 2;
}
