#include "client/common/ui/prepare_log_dialog.h"

namespace olvex::ui {

bool CPrepareLogDlg::CreateAndShow(HWND owner) {
    if (!CreateModeless(owner))
        return false;
    ShowWindow(handle(), SW_SHOW);
    // The thread loads the log next and handles no messages meanwhile: paint
    // now or the window would stand empty.
    RedrawWindow(handle(), nullptr, nullptr,
                 RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    // Some systems (Wine) put what was painted on the screen only when the
    // thread next looks at its messages: look once, taking none.
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT);
    return true;
}

}  // namespace olvex::ui
