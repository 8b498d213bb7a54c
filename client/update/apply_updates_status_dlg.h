// The update utility's status window: modeless, shown for the whole run. It
// has no close button and ignores Esc: the run ends it.
#pragma once

#include "client/common/ui/dialog.h"
#include "client/update/dunmere_resources.h"

namespace olvex {

class CApplyUpdatesStatusDlg : public ui::Dialog {
  public:
    CApplyUpdatesStatusDlg() : Dialog(IDD_APPLY_UPDATES_STATUS) {}

  protected:
    void OnOk() override {}
    void OnCancel() override {}
};

}  // namespace olvex
