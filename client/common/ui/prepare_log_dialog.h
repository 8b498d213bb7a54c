// `CPrepareLogDlg`: the small "Prepare Log" window that stands on screen while
// the activity log is read. It has no buttons and no handlers of its own:
//
//     CPrepareLogDlg wait;
//     wait.CreateAndShow();    // shown and drawn at once
//     ... load the log ...
//     wait.End(0);             // or let it go out of scope
#pragma once

#include "client/common/ui/dialog.h"
#include "client/common/ui/ui_resources.h"

namespace olvex::ui {

class CPrepareLogDlg : public Dialog {
  public:
    explicit CPrepareLogDlg(HINSTANCE instance = nullptr) : Dialog(IDD_PREPARE_LOG, instance) {}

    // Makes the window modeless, shows it and paints it before returning, so
    // that it is seen while the caller's thread is busy loading.
    bool CreateAndShow(HWND owner = nullptr);
};

}  // namespace olvex::ui
