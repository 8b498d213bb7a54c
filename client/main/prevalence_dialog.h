// `CPrevalenceDlg`, the Prevalence Research dialog (template 153): the
// user's consent to send anonymous reports of the pests found
// (`prevresearch`, stored by Close, not by Esc) and eight links to the
// research site's statistics, each opened in the web browser.
#pragma once

#include <windows.h>

#include "client/common/ui/gdi.h"
#include "client/main/program_dialog.h"

namespace olvex {

class CPrevalenceDlg : public ManagementDialog {
  public:
    CPrevalenceDlg();

  protected:
    bool OnInitDialog() override;
    void OnOk() override;
    HBRUSH OnControlColor(HDC dc, HWND control, UINT message) override;
    bool OnSetCursor(HWND over, UINT hit_test) override;

  private:
    void CreateFonts();

    win::UniqueFont heading_font_;
    win::UniqueFont link_font_;
    win::UniqueFont section_font_;
    ui::TransparentLabels labels_;
    ui::LinkCursor link_cursor_;
};

}  // namespace olvex
