// `CMainView`, page 1 of the main window ("Welcome", template 101), the page
// shown at start-up. It leads to the other two pages and opens the help file
// and the About dialog.
#pragma once

#include "client/main/page_look.h"

namespace olvex {

class CMainView : public CPage {
  public:
    CMainView();
};

}  // namespace olvex
