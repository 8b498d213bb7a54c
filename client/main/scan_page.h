// `CScanView`, page 2 of the main window (template 139): the choice of a
// standard or custom scan, the drives to scan, the scan history, Scan Now
// and scheduling. It leads to the other two pages and opens the help file
// and the About dialog.
#pragma once

#include "client/main/page_look.h"

namespace olvex {

class CScanView : public CPage {
  public:
    CScanView();

  protected:
    bool OnInitDialog() override;
};

}  // namespace olvex
