// `CMainView`, page 1 of the main window ("Welcome", template 101), the page
// shown at start-up. It shows whether the background protection protects
// the computer (its timer looks every 250 ms, and keeps an open Active
// Protection settings dialog current), when the definitions were last
// updated, and links to the product's web pages; it leads to the other two
// pages and opens the help file and the About dialog.
#pragma once

#include <optional>
#include <string>

#include "client/main/page_look.h"

namespace olvex {

class CMainView : public CPage {
  public:
    CMainView();

    // Shows the protection status in 1001 and in the open Active Protection
    // settings dialog. It only looks: nothing is made, and it never waits.
    void UpdateProtectionStatus();
    // Shows the first line of the update history in 1012.
    void ReadUpdateHistory();

  protected:
    bool OnInitDialog() override;
    void OnTimer(UINT_PTR timer_id) override;
    void OnShow(bool shown) override;

  private:
    void OpenWebPage(const char* key, UINT default_address_id);

    std::optional<std::string> settings_path_;
};

}  // namespace olvex
