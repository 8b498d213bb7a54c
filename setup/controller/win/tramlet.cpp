#include "setup/controller/win/tramlet.h"

#include <atomic>

#include "setup/controller/setup_operation.h"
#include "setup/controller/win/windows_operation_host.h"
#include "setup/core/setup_logger.h"
#include "setup/core/setup_options.h"
#include "setup/core/setup_process.h"
#include "setup/core/system_utilities.h"
#include "setup/core/win_text.h"

namespace olvex::setup {
namespace {

constexpr uint32_t kOtherSetupRuns = 9044;
constexpr wchar_t kInstallMutex[] = L"mutex.Tromb.install";
constexpr wchar_t kUninstallMutex[] = L"mutex.Tromb.uninstall";
constexpr wchar_t kCleanupMutex[] = L"mutex.Tromb.cleanup";
constexpr char16_t kDefaultClass[] = u"WinClass.Tromb";
constexpr WORD kProgramIcon = 110;
constexpr uint32_t kProductName = 22006;
constexpr DWORD kCleanupPollMs = 300;

HWND g_main_window = nullptr;
std::u16string g_class_name;
bool g_class_registered = false;

// Whether another process holds the mutex: probed by opening it, never by
// creating it (a moment's ownership would turn another setup away).
bool MutexExists(const wchar_t* name) {
    const HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, name);
    if (mutex) {
        CloseHandle(mutex);
        return true;
    }
    return GetLastError() == ERROR_ACCESS_DENIED;
}

// Creates and owns the mutex; null when it existed or could not be made.
HANDLE CreateOwnedMutex(const wchar_t* name) {
    const HANDLE mutex = CreateMutexW(nullptr, TRUE, name);
    if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return nullptr;
    }
    return mutex;
}

// Waits while a cleanup runs; a cleanup keeps the mutex it got.
HANDLE WaitForCleanup(bool keep) {
    for (;;) {
        const HANDLE mutex = CreateOwnedMutex(kCleanupMutex);
        if (mutex) {
            if (keep) {
                return mutex;
            }
            ReleaseMutex(mutex);
            CloseHandle(mutex);
            return nullptr;
        }
        Sleep(kCleanupPollMs);
    }
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_QUERYENDSESSION) {
        // The session may not end while setup runs.
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

HWND CreateMainWindow(int32_t mode) {
    const bool installs = mode == kModeInstall || mode == kModeTrustList;
    std::u16string name = util::LoadResourceString(nullptr, 22000, 128);
    const std::u16string title =
        util::LoadResourceString(nullptr, installs ? 24003 : 24004, 128) + u": " + name;
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!g_class_registered) {
        g_class_name = util::LoadResourceString(nullptr, 22001, 128);
        if (g_class_name.empty()) {
            g_class_name = kDefaultClass;
        }
        WNDCLASSW window_class{};
        window_class.style = CS_VREDRAW | CS_HREDRAW | CS_PARENTDC;
        window_class.lpfnWndProc = &MainWindowProc;
        window_class.hInstance = instance;
        window_class.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kProgramIcon));
        window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
        window_class.lpszClassName = W(g_class_name);
        if (!RegisterClassW(&window_class)) {
            return nullptr;
        }
        g_class_registered = true;
    }
    const HWND window =
        CreateWindowExW(0, W(g_class_name), W(title), WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
    if (window && (mode == kModeInstall || mode == kModeUninstall) &&
        SetupLogger::Instance().display_level() >= 2) {
        ShowWindow(window, SW_SHOWMINIMIZED);
    }
    return window;
}

DWORD WINAPI OperationThreadProc(void*) {
    SetupOperation* operation = GetCurrentOperation();
    if (!operation) {
        return 0;
    }
    operation->Prepare();
    operation->SelectProducts();
    operation->Execute();
    operation->ClearProducts();
    operation->SetFinished();
    if (operation->window()) {
        PostMessageW(static_cast<HWND>(operation->window()), kOperationFinished, 0, 0);
    }
    if (operation->main_thread_id() != 0) {
        PostThreadMessageW(operation->main_thread_id(), kOperationFinished, 0, 0);
    }
    return 0;
}

HANDLE RunOperation(int32_t mode, const OperationContext& context) {
    SetupOperation* operation = CreateOperation(mode, context);
    if (!operation) {
        return nullptr;
    }
    g_main_window = CreateMainWindow(mode);
    operation->SetWindow(g_main_window);
    SetupLogger::Instance().SetWindow(g_main_window);
    operation->SetMainThreadId(GetCurrentThreadId());
    const HANDLE thread = CreateThread(nullptr, 0, &OperationThreadProc, nullptr, 0, nullptr);
    if (!thread) {
        OperationThreadProc(nullptr);
    }
    return thread;
}

uint32_t CurrentExitCode() {
    const SetupOperation* operation = GetCurrentOperation();
    return operation ? operation->ExitCode() : 0;
}

uint32_t RunMessageLoop(HANDLE thread) {
    if (!thread) {
        return CurrentExitCode();
    }
    const SetupOperation* operation = GetCurrentOperation();
    MSG message;
    PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    bool done = false;
    while (!done) {
        while (!done && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if ((message.message == WM_QUIT && message.hwnd == g_main_window) ||
                message.message == kOperationFinished || operation->finished()) {
                done = true;
                break;
            }
            if (message.message == WM_QUERYENDSESSION && message.hwnd != g_main_window) {
                continue;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (done || operation->finished()) {
            break;
        }
        const DWORD woke = MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0) {
            break;
        }
    }
    // The worker may still be leaving its last slot: the operation is
    // freed only once its thread has ended.
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return CurrentExitCode();
}

}  // namespace

uint32_t AcquireModeMutex(int32_t mode, HANDLE& held) {
    held = nullptr;
    switch (mode) {
        case kModeInstall:
        case kModeUninstall: {
            const bool install = mode == kModeInstall;
            if (MutexExists(install ? kUninstallMutex : kInstallMutex)) {
                return kOtherSetupRuns;
            }
            // Held until the process ends.
            if (!CreateOwnedMutex(install ? kInstallMutex : kUninstallMutex)) {
                return kOtherSetupRuns;
            }
            WaitForCleanup(false);
            return 0;
        }
        case kModeCleanup:
            held = WaitForCleanup(true);
            return 0;
        default:
            WaitForCleanup(false);
            return 0;
    }
}

int RunTramlet(ProductFactory& products) {
    SetupLogger& logger = SetupLogger::Instance();
    SetupOptions& options = SetupOptions::Instance();
    ParseProcessCommandLine(options, logger);
    logger.Open(u"C:\\trombolog.txt", options.mode == kModeInstall);
    options.ReportRefusedArguments(logger);

    SetProductFactory(&products);
    // Setup's boxes carry the name of what is being set up: the suite's
    // when it runs several products, else its one product's.
    ProcessLoggerHost().SetCaptionSource([&products]() -> std::u16string {
        SuiteProduct& suite = products.Suite();
        Product* source = suite.suite_active() ? &suite : suite.primary_product();
        std::u16string name = source ? source->LoadProductString(kProductName) : u"";
        return name.empty() ? util::LoadResourceString(nullptr, kProductName, 256) : name;
    });
    static WindowsOperationHost host;
    const OperationContext context{options, logger, host, products};

    HANDLE held = nullptr;
    uint32_t result = AcquireModeMutex(options.mode, held);
    bool reboot = false;
    if (result == 0) {
        const HANDLE thread = RunOperation(options.mode, context);
        result = RunMessageLoop(thread);
        const SetupOperation* operation = GetCurrentOperation();
        reboot = operation && operation->reboot();
        if (g_main_window) {
            logger.SetWindow(nullptr);
            DestroyWindow(g_main_window);
            g_main_window = nullptr;
        }
        DestroyOperation();
    }
    if (held) {
        ReleaseMutex(held);
        CloseHandle(held);
    }
    logger.Close(result);
    if (reboot) {
        util::RebootSystem();
    }
    return static_cast<int>(result);
}

}  // namespace olvex::setup
