#include "client/protect/main_program.h"

#include "client/common/named_mutex.h"
#include "client/common/program_launcher.h"
#include "client/common/ui/gdi.h"
#include "client/protect/wakenor_resources.h"

namespace olvex::protect {

HWND FindMainProgramWindow() {
    const std::wstring title = ui::LoadText(IDS_MAIN_WINDOW_TITLE);
    return title.empty() ? nullptr : FindWindowW(nullptr, title.c_str());
}

bool PestActivityRunning() {
    const HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, kPestActivityMutexName);
    if (mutex != nullptr) {
        CloseHandle(mutex);
        return true;
    }
    return GetLastError() == ERROR_ACCESS_DENIED;
}

bool ForegroundScanRunning() {
    if (PestActivityRunning())
        return true;
    const HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, kScannerWindowMutexName);
    if (mutex != nullptr) {
        CloseHandle(mutex);
        return true;
    }
    return GetLastError() == ERROR_ACCESS_DENIED;
}

bool PostStandardScan(HWND main_window) {
    return PostMessageW(main_window, kStartStandardScanMessage, static_cast<WPARAM>(-1),
                        kStandardScanKind) != FALSE;
}

bool PostComeToFront(HWND main_window) {
    return PostMessageW(main_window, kComeToFrontMessage, 0, 0) != FALSE;
}

bool StartMainProgram(const std::string& install_folder) {
    return StartProgram(install_folder + kMainProgramFileName).has_value();
}

}  // namespace olvex::protect
