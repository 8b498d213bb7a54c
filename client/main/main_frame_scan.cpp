// What the main window does about scans: message 1027 from the product's
// other programs starts a standard scan, and closing the window while a
// scan runs stops it first.
#include "client/main/gorsewatch5_app.h"
#include "client/main/main_frame.h"
#include "client/main/scan_dialog.h"
#include "client/main/scan_page.h"
#include "client/main/start_up_rules.h"

namespace olvex {
namespace {

// How long closing waits for a stopped scan to end before the program ends
// without it.
constexpr DWORD kStopWaitMs = 5000;

// Waits for the thread while serving the messages other threads send to
// this one (the scan's sink sends to the Scan dialog, which this thread
// owns). Posted messages wait: a timer served here would end the scan in
// the dialog and open its message inside this wait. True when it ended.
bool WaitServingSentMessages(HANDLE thread, DWORD timeout_ms) {
    const DWORD start = GetTickCount();
    while (true) {
        const DWORD waited = GetTickCount() - start;
        if (waited >= timeout_ms)
            return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
        const DWORD result = MsgWaitForMultipleObjectsEx(1, &thread, timeout_ms - waited,
                                                         QS_SENDMESSAGE, 0);
        if (result == WAIT_OBJECT_0)
            return true;
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

}  // namespace

void CMainFrame::ListenForScans() {
    OnMessage(kStartScanMessage, [this](WPARAM, LPARAM) {
        // The sender is not kept waiting for a whole scan.
        ReplyMessage(0);
        CGorsewatch5App* app = CGorsewatch5App::Current();
        if (app == nullptr)
            return LRESULT{0};
        if (CScanDlg* open = app->open_scan_dialog()) {
            open->ComeToFront();
            return LRESULT{0};
        }
        app->SwitchView(kScanPage);
        ComeToFront();
        if (CScanView* page = app->scan_page())
            page->RunScanNow(false);
        return LRESULT{0};
    });
    OnMessage(WM_CLOSE, [this](WPARAM, LPARAM) {
        CGorsewatch5App* app = CGorsewatch5App::Current();
        if (app != nullptr) {
            // The Scan dialog goes with the window: whoever runs it must end
            // the program rather than return into destroyed windows.
            if (app->open_scan_dialog() != nullptr)
                app->set_exit_requested(true);
            if (const HANDLE worker = app->scan_worker()) {
                app->set_exit_requested(true);
                app->set_continue_scan(VARIANT_FALSE);
                if (!WaitServingSentMessages(worker, kStopWaitMs)) {
                    // The engine did not stop in time: keep what the scan
                    // found in the log and end without it. The thread is
                    // never killed under the engine's locks.
                    app->activity_log().With([](CLogFile& log) { log.Flush(); });
                    ExitProcess(0);
                }
            }
        }
        // Closes as usual.
        return DefWindowProcW(handle(), WM_CLOSE, 0, 0);
    });
}

void CGorsewatch5App::EndAfterClosedScan() {
    ExitInstance();
    ExitProcess(0);
}

}  // namespace olvex
