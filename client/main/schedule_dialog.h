// `CScheduleDlg`, the Schedule dialog (template 179). The scan page runs it while the Task
// Scheduler is available.
// It stands in for the dialog until that is built: it shows the dialog's
// caption on its template and closes with its Close button.
#pragma once

#include "client/main/program_dialog.h"

namespace olvex {

class CScheduleDlg : public ManagementDialog {
  public:
    CScheduleDlg();
};

}  // namespace olvex
