// `CPrevalenceDlg`, the Prevalence Research dialog (template 153). It can change the prevalence-
// research setting.
// It stands in for the dialog until that is built: it shows the dialog's
// caption on its template and closes with its Close button.
#pragma once

#include "client/main/program_dialog.h"

namespace olvex {

class CPrevalenceDlg : public ManagementDialog {
  public:
    CPrevalenceDlg();
};

}  // namespace olvex
