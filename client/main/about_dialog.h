// `CAboutDlg`, the About dialog (template 100), opened by the pages' About
// links and the application's About command. For now it shows the product's
// name and closes with OK; the version lines and the version report come
// with the About box itself.
#pragma once

#include "client/main/program_dialog.h"

namespace olvex {

class CAboutDlg : public ProgramDialog {
  public:
    CAboutDlg();
};

}  // namespace olvex
