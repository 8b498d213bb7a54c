// `CExclusionsDlg`, the Manage Exclusions dialog (template 145). The configuration page runs it
// while it holds the pest-activity mutex.
// It stands in for the dialog until that is built: it shows the dialog's
// caption on its template and closes with its Close button.
#pragma once

#include "client/main/program_dialog.h"

namespace olvex {

class CExclusionsDlg : public ManagementDialog {
  public:
    CExclusionsDlg();
};

}  // namespace olvex
