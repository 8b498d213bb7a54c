#include "setup/controller/win/progress_window.h"

#include <commctrl.h>
#include <process.h>

#include <array>
#include <ctime>
#include <vector>

#include "setup/controller/setup_operation.h"
#include "setup/controller/win/framework.h"
#include "setup/core/setup_logger.h"
#include "setup/core/setup_options.h"
#include "setup/core/system_utilities.h"
#include "setup/core/win_text.h"

namespace olvex::setup {
namespace {

constexpr UINT kEndProgress = 0x1405;
constexpr uint32_t kUninstallTitle = 24016;
constexpr uint32_t kProgressStayed = 25550;
// The firewall installer's question titles, in the order they are looked for.
constexpr std::array<uint32_t, 7> kWatchedTitles = {24009, 24010, 24011, 24012,
                                                    24014, 24013, 24015};
constexpr int kYesButton = 6;

int DisplayLevel() {
    return SetupLogger::Instance().display_level();
}

}  // namespace

WorkerThread::~WorkerThread() {
    if (thread_) {
        // A thread still running keeps its object alive only while the
        // process does; the handle is not leaked.
        CloseHandle(thread_);
    }
}

bool WorkerThread::Launch() {
    if (thread_) {
        return true;
    }
    const uintptr_t handle = _beginthreadex(nullptr, 0, &WorkerThread::Entry, this, 0, nullptr);
    thread_ = reinterpret_cast<HANDLE>(handle);
    return thread_ != nullptr;
}

bool WorkerThread::Join(DWORD timeout_ms) {
    if (!thread_) {
        return true;
    }
    if (WaitForSingleObject(thread_, timeout_ms) != WAIT_OBJECT_0) {
        return false;
    }
    CloseHandle(thread_);
    thread_ = nullptr;
    return true;
}

unsigned __stdcall WorkerThread::Entry(void* self) {
    static_cast<WorkerThread*>(self)->Run();
    return 1;
}

ProgressWindow& ProgressWindow::Instance() {
    static ProgressWindow window;
    return window;
}

void ProgressWindow::Start(HWND owner, int steps) {
    if (DisplayLevel() <= 0) {
        return;
    }
    // A thread of an earlier run has ended by now.
    Join(5000);
    owner_ = owner;
    steps_ = steps;
    // Unnamed: another setup process must not signal it.
    ready_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!ready_) {
        Launch();
        Sleep(1000);
        return;
    }
    if (Launch()) {
        WaitForSingleObject(ready_, 5000);
    }
    CloseHandle(ready_);
    ready_ = nullptr;
}

void ProgressWindow::Run() {
    static bool registered = [] {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS};
        return InitCommonControlsEx(&controls) != FALSE;
    }();
    (void)registered;
    const SetupOperation* operation = GetCurrentOperation();
    const HWND main_window = operation ? static_cast<HWND>(operation->window()) : nullptr;
    const HWND dialog = Framework::Instance().CreateModeless(nullptr, kProgressTemplate, owner_,
                                                             &ProgressWindow::Procedure, 0);
    dialog_.store(dialog);
    MSG message;
    PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    if (ready_) {
        SetEvent(ready_);
    }
    if (dialog) {
        while (GetMessageW(&message, nullptr, 0, 0) > 0 && message.message != kEndProgress) {
            if (message.message == WM_QUERYENDSESSION && message.hwnd != main_window) {
                continue;
            }
            if (!IsDialogMessageW(dialog, &message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
        DestroyWindow(dialog);
    }
    dialog_.store(nullptr);
    owner_ = nullptr;
    steps_ = 5;
}

INT_PTR CALLBACK ProgressWindow::Procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: {
            const int steps = Instance().steps_;
            SendDlgItemMessageW(dialog, kProgressBar, PBM_SETRANGE, 0, MAKELPARAM(1, steps));
            SendDlgItemMessageW(dialog, kProgressBar, PBM_SETSTEP, 1, 0);
            const SetupOperation* operation = GetCurrentOperation();
            if (operation && operation->mode() != kModeInstall) {
                const std::u16string title =
                    util::LoadResourceString(nullptr, kUninstallTitle, 128);
                SetWindowTextW(dialog, W(title));
            }
            return TRUE;
        }
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_COMMAND:
            // Closing the window (Wine sends IDCANCEL for it) does not end
            // setup's progress.
            return LOWORD(wparam) == IDCANCEL ? TRUE : FALSE;
        default:
            return FALSE;
    }
}

void ProgressWindow::Step(const std::u16string* text) {
    if (DisplayLevel() <= 0) {
        return;
    }
    HWND dialog = nullptr;
    for (int check = 0; check < 10 && !(dialog = dialog_.load()); ++check) {
        Sleep(250);
    }
    if (!dialog) {
        return;
    }
    SendDlgItemMessageW(dialog, kProgressBar, PBM_STEPIT, 0, 0);
    if (text) {
        SetDlgItemTextW(dialog, kProgressStatus, W(*text));
    }
}

void ProgressWindow::Stop() {
    const HWND dialog = dialog_.load();
    if (!dialog) {
        return;
    }
    SendDlgItemMessageW(dialog, kProgressBar, PBM_SETPOS, static_cast<WPARAM>(steps_), 0);
    if (observer_) {
        observer_(dialog);
    }
    PostMessageW(dialog, kEndProgress, 0, 0);
    for (int check = 0; check < 50; ++check) {
        if (!IsWindow(dialog)) {
            Join(5000);
            return;
        }
        Sleep(100);
    }
    SetupLogger::Instance().Info(kProgressStayed);
}

DialogWatcherThread::~DialogWatcherThread() {
    Wait();
}

void DialogWatcherThread::Start() {
    if (!running_.exchange(true)) {
        Launch();
    }
}

void DialogWatcherThread::Wait() {
    running_.store(false);
    Join(INFINITE);
}

void DialogWatcherThread::Run() {
    std::vector<std::u16string> titles;
    for (const uint32_t id : kWatchedTitles) {
        titles.push_back(util::LoadResourceString(nullptr, id, 256));
    }
    while (running_.load()) {
        HWND found = nullptr;
        for (const std::u16string& title : titles) {
            const clock_t start = clock();
            while (!title.empty() && clock() - start < 150 && running_.load()) {
                found = FindWindowW(L"#32770", W(title));
                if (found) {
                    break;
                }
                Sleep(100);
            }
            if (found || !running_.load()) {
                break;
            }
        }
        if (found) {
            // The question belongs to another program: a hung one must not
            // hold setup up.
            DWORD_PTR answer = 0;
            SendMessageTimeoutW(found, WM_COMMAND, kYesButton, 0, SMTO_ABORTIFHUNG, 5000, &answer);
        }
    }
}

}  // namespace olvex::setup
