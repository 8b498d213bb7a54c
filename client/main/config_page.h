// `CManageView`, page 3 of the main window ("Advanced Settings", template
// 141): links to the product's settings and management dialogs. It leads to
// the other two pages and opens the help file and the About dialog. Every
// link does nothing while the updater's window is open.
#pragma once

#include "client/main/page_look.h"

namespace olvex {

class CManageView : public CPage {
  public:
    CManageView();

    // Whether the updater's window ("Kelvan Gorsewatch -- Updates") exists.
    static bool UpdaterRuns();

  private:
    void OnSounds();
};

}  // namespace olvex
