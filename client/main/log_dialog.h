// `CLogDlg`, the Log dialog (template 146). It shows the activity log entries the application's
// log object holds.
// It stands in for the dialog until that is built: it shows the dialog's
// caption on its template and closes with its Close button.
#pragma once

#include "client/main/program_dialog.h"

namespace olvex {

class CLogDlg : public ManagementDialog {
  public:
    CLogDlg();
};

}  // namespace olvex
