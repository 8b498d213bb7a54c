#include "setup/products/close_programs.h"

#include <string>
#include <vector>

#include "setup/core/system_utilities.h"
#include "setup/core/win_text.h"
#include "setup/products/antivirus_rules.h"
#include "setup/products/product_av.h"
#include "setup/products/product_base.h"

namespace olvex::setup {
namespace {

constexpr UINT kRequestTimeoutMs = 5000;
constexpr uint32_t kWaitAfterRequestSeconds = 3;
constexpr uint32_t kLongWaitSeconds = 16;

constexpr DWORD kMutexLookAccess = SYNCHRONIZE | READ_CONTROL;  // 0x120000
constexpr DWORD kRunValueBytes = 520;
constexpr uint32_t kServiceFirstLookMs = 10;
constexpr int kServicePolls = 5;
constexpr uint32_t kServicePollMs = 100;

}  // namespace

HWND FindWindowByClassAndTitle(std::u16string_view window_class, std::u16string_view title) {
    const std::u16string class_text(window_class);
    const std::u16string title_text(title);
    return FindWindowW(class_text.empty() ? nullptr : W(class_text),
                       title_text.empty() ? nullptr : W(title_text));
}

bool MutexExists(std::u16string_view name) {
    const std::u16string text(name);
    const HANDLE mutex = OpenMutexW(kMutexLookAccess, FALSE, W(text));
    if (!mutex) {
        return false;
    }
    CloseHandle(mutex);
    return true;
}

void WaitForMutexRelease(std::u16string_view name, uint32_t timeout_ms) {
    const std::u16string text(name);
    const HANDLE mutex = OpenMutexW(kMutexLookAccess, FALSE, W(text));
    if (!mutex) {
        return;
    }
    const DWORD waited = WaitForSingleObject(mutex, timeout_ms);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
        // Taken only to see it free: given back at once.
        ReleaseMutex(mutex);
    }
    CloseHandle(mutex);
}

bool RunValueCounts(std::u16string_view name) {
    const auto value = util::ReadRegistryString(HKEY_LOCAL_MACHINE, kRunKey, name, kRunValueBytes);
    return value && !value->empty();
}

void StopServiceBriefly(std::u16string_view name) {
    const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) {
        return;
    }
    const std::u16string text(name);
    const SC_HANDLE service = OpenServiceW(manager, W(text), SERVICE_STOP | SERVICE_QUERY_STATUS);
    if (service) {
        SERVICE_STATUS status{};
        ControlService(service, SERVICE_CONTROL_STOP, &status);
        if (status.dwCurrentState != SERVICE_STOPPED) {
            util::SleepMilliseconds(kServiceFirstLookMs);
            QueryServiceStatus(service, &status);
            for (int poll = 0; poll < kServicePolls && status.dwCurrentState != SERVICE_STOPPED;
                 ++poll) {
                util::SleepMilliseconds(kServicePollMs);
                QueryServiceStatus(service, &status);
            }
        }
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
}

HWND CloseWindowByTitle(std::u16string_view window_class, std::u16string_view title, UINT message,
                        int tries) {
    HWND window = FindWindowByClassAndTitle(window_class, title);
    for (int i = 0; i < tries && window; ++i) {
        DWORD_PTR answer = 0;
        SendMessageTimeoutW(window, message, 0, 0, SMTO_ABORTIFHUNG, kRequestTimeoutMs, &answer);
        window = WaitWhileWindowExists(kWaitAfterRequestSeconds, window_class, title);
    }
    return window;
}

HWND WaitWhileWindowExists(uint32_t seconds, std::u16string_view window_class,
                           std::u16string_view title) {
    const uint32_t interval = seconds >= kLongWaitSeconds ? 250 : 100;
    const uint64_t start = util::ClockMilliseconds();
    for (;;) {
        const HWND window = FindWindowByClassAndTitle(window_class, title);
        if (!window) {
            return nullptr;
        }
        if (seconds != 0 && util::ClockMilliseconds() - start >= uint64_t{seconds} * 1000) {
            return window;
        }
        util::SleepMilliseconds(interval);
    }
}

void RunAndWait(std::u16string_view command) {
    std::u16string line(command);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, W(line), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return;
    }
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hProcess);
}

namespace {

namespace av = antivirus;

constexpr UINT kCloseRequest = 1124;  // the antivirus programs' own request
constexpr uint32_t kStillRunning = 9023;
constexpr uint32_t kPassMs = 1000;
constexpr uint32_t kAfterCloseMs = 1500;
constexpr uint32_t kAfterMutexMs = 500;
constexpr uint32_t kMutexWaitMs = 10000;
constexpr uint32_t kUpdateMutexWaitMs = 600000;
constexpr int kStartUpPasses = 6;
constexpr int kTrayPasses = 8;
constexpr int kRemoverPasses = 10;
constexpr int kGonePolls = 10;

// Checks up to `passes` times, kPassMs apart (no pause after the last),
// until the condition holds; the passes used.
template <class Condition>
int PollUntil(int passes, Condition condition) {
    int used = 0;
    while (used < passes) {
        ++used;
        if (condition()) {
            break;
        }
        if (used < passes) {
            util::SleepMilliseconds(kPassMs);
        }
    }
    return used;
}

// The installed package's main window: its product DLL's strings.
av::WindowName PackageWindow(std::u16string_view files) {
    std::u16string window_class;
    std::u16string title;
    if (!files.empty()) {
        const std::u16string path = std::u16string(files) + u"\\xjvprod.dll";
        if (const HMODULE dll = LoadLibraryExW(W(path), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
            window_class = util::LoadResourceString(dll, 22001, av::kPackageStringChars);
            title = util::LoadResourceString(dll, 22000, av::kPackageStringChars);
            FreeLibrary(dll);
        }
    }
    return av::PackageMainWindow(window_class, title);
}

// Asks the window twice over: its own request, then WM_DESTROY.
void CloseTwice(std::u16string_view window_class, std::u16string_view title, UINT first,
                int tries) {
    CloseWindowByTitle(window_class, title, first, tries);
    CloseWindowByTitle(window_class, title, WM_DESTROY, tries);
}

}  // namespace

uint32_t ProductAV::CloseRunningPrograms() {
    const uint32_t id = GetAntivirusProductId();
    const auto dialogs = av::DialogsForEdition(id);
    const auto edition = av::EditionMainWindow(id);
    std::u16string files;
    uint32_t flag = 0;
    GetInstalledFilesPath(files, flag);
    const std::vector<av::WindowName> first_generation =
        av::FirstGenerationWindows(util::GetWindowsShortName());
    const av::WindowName package = PackageWindow(files);
    std::vector<av::WindowName> main_windows = first_generation;
    if (edition) {
        main_windows.push_back(*edition);
    }
    main_windows.push_back(package);

    const auto dialog_exists = [](std::u16string_view title) {
        return FindWindowByClassAndTitle(av::kDialogClass, title) != nullptr;
    };
    const auto status_exists = [&] {
        return MutexExists(av::kTrayMutex) || (dialogs && dialog_exists(dialogs->status));
    };
    const auto run = [&](std::u16string_view program, std::u16string_view arguments) {
        if (files.empty()) {
            return;
        }
        if (const auto command =
                util::BuildCommandLine(files, program, arguments, util::kMaxPath * 2)) {
            RunAndWait(*command);
        }
    };
    // Waits for a program to let go of its mutex, or for its sign to go.
    const auto wait_for_end = [&](std::u16string_view mutex, auto still_there) {
        if (MutexExists(mutex)) {
            WaitForMutexRelease(mutex, kMutexWaitMs);
            util::SleepMilliseconds(kAfterMutexMs);
        } else {
            PollUntil(kGonePolls, [&] { return !still_there(); });
        }
    };

    // 1. Programs that start with Windows may not have opened their windows
    // yet: close the main windows while they start, then wait for the tray
    // and the remover to come up so that they can be told to end.
    int start_up_passes = 0;
    if (RunValueCounts(av::kStartUpRunValue)) {
        start_up_passes = PollUntil(kStartUpPasses, [&] {
            for (const av::WindowName& window : main_windows) {
                if (dialog_exists(window.title)) {
                    CloseTwice(av::kDialogClass, window.title, kCloseRequest, 3);
                    util::SleepMilliseconds(kAfterCloseMs);
                }
            }
            if (dialogs && dialog_exists(dialogs->out_of_date)) {
                CloseWindowByTitle(av::kDialogClass, dialogs->out_of_date, WM_CLOSE, 5);
                util::SleepMilliseconds(kAfterCloseMs);
            }
            if (dialogs && dialog_exists(dialogs->progress_meter)) {
                return true;
            }
            for (const av::WindowName& window : main_windows) {
                if (FindWindowByClassAndTitle(window.window_class, window.title)) {
                    return true;
                }
            }
            return false;
        });
    }
    int tray_passes = 0;
    if (RunValueCounts(av::kTrayRunValues[0]) || RunValueCounts(av::kTrayRunValues[1])) {
        tray_passes = PollUntil(kTrayPasses - start_up_passes, status_exists);
    }
    if (RunValueCounts(av::kRemoverRunValue)) {
        PollUntil(kRemoverPasses - tray_passes, [] { return MutexExists(av::kRemoverMutex); });
    }

    // 2. The message program, and the resident protection's service.
    run(u"NimMsg.exe", u"-k");
    if (util::IsWinNT() && MutexExists(av::kResidentMutex)) {
        StopServiceBriefly(av::kResidentService);
    }
    // 3. The e-mail and the script scanners.
    run(u"Hoplin.exe", u"-k");
    run(u"BrelScanner.exe", u"-k");

    // 4. The tray ends by its own command before its window is asked.
    if (status_exists()) {
        run(u"NimTray.exe", u"/exit");
        run(u"xjvtray.exe", u"/exit");
        if (dialogs) {
            CloseTwice(av::kDialogClass, dialogs->status, kCloseRequest, 5);
        }
        wait_for_end(av::kTrayMutex, status_exists);
    }
    // 5. The remover.
    if (MutexExists(av::kRemoverMutex)) {
        run(u"XJVRid.exe", u"-k");
        wait_for_end(av::kRemoverMutex, [] { return MutexExists(av::kRemoverMutex); });
    }
    // 6. The update program: its error box first, or it would wait for it.
    CloseWindowByTitle(u"", av::kUpdateErrorTitle, WM_CLOSE, 5);
    if (MutexExists(av::kUpdateMutex)) {
        run(u"AutoDown.exe", u"/exit");
        CloseWindowByTitle(u"", av::kUpdateConnectionErrorTitle, WM_CLOSE, 5);
        WaitForMutexRelease(av::kUpdateMutex, kUpdateMutexWaitMs);
        util::SleepMilliseconds(kAfterMutexMs);
    }
    // 7. The scanner's progress meter, 8. the main windows.
    if (dialogs) {
        CloseTwice(av::kDialogClass, dialogs->progress_meter, kCloseRequest, 10);
    }
    CloseWindowByTitle(package.window_class, package.title, WM_DESTROY, 10);
    if (edition) {
        CloseTwice(edition->window_class, edition->title, kCloseRequest, 10);
    }
    const bool first_generation_closed = av::ClosesFirstGeneration(id);
    if (first_generation_closed) {
        for (const av::WindowName& window : first_generation) {
            CloseTwice(window.window_class, window.title, kCloseRequest, 10);
        }
    }

    // 9. Whatever still runs is named, and setup cannot go on.
    uint32_t result = 0;
    const auto still = [&](bool running, std::u16string_view program) {
        if (running) {
            ReportProductMessage(25526, program, 3, 3, kStillRunning);
            result = kStillRunning;
        }
    };
    still(status_exists(), u"xjvtray.exe");
    still(MutexExists(av::kRemoverMutex), u"xjvrid.exe");
    still(dialogs && dialog_exists(dialogs->progress_meter), u"xjv.exe");
    still(FindWindowByClassAndTitle(package.window_class, package.title) != nullptr, u"xjv.exe");
    still(edition && FindWindowByClassAndTitle(edition->window_class, edition->title),
          u"nim32.exe");
    if (first_generation_closed) {
        for (const av::WindowName& window : first_generation) {
            still(FindWindowByClassAndTitle(window.window_class, window.title) != nullptr,
                  u"nim32.exe (Generation 1");
        }
    }
    still(MutexExists(av::kUpdateMutex), u"autodown.exe");
    return result;
}

}  // namespace olvex::setup
