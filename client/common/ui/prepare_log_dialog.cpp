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
    return true;
}

}  // namespace olvex::ui
