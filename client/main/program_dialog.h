// The base of the main program's own dialogs: the dialog background and
// static texts in the program's dialog colours (a white background from
// string 235, black text), as the whole program sets them at start-up.
#pragma once

#include <windows.h>

#include "client/common/ui/dialog.h"
#include "client/common/ui/gdi.h"

namespace olvex {

class ProgramDialog : public ui::Dialog {
  public:
    explicit ProgramDialog(int template_id);

  protected:
    HBRUSH OnControlColor(HDC dc, HWND control, UINT message) override;

  private:
    COLORREF background_;
    win::UniqueBrush brush_;
};

// A management dialog: placed on the main window's top-left corner when it
// shows, as every management dialog of the program is.
class ManagementDialog : public ProgramDialog {
  public:
    using ProgramDialog::ProgramDialog;

  protected:
    void OnShow(bool shown) override;
};

}  // namespace olvex
