#include "client/main/program_dialog.h"

#include "client/common/ui/dialog_layout.h"
#include "client/main/app_helpers.h"
#include "client/main/app_ids.h"

namespace olvex {

ProgramDialog::ProgramDialog(int template_id)
    : ui::Dialog(template_id),
      background_(ColorFromResource(IDS_DIALOG_BACKGROUND)),
      brush_(CreateSolidBrush(background_)) {}

HBRUSH ProgramDialog::OnControlColor(HDC dc, HWND control, UINT message) {
    switch (message) {
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORMSGBOX:
            SetBkColor(dc, background_);
            SetTextColor(dc, RGB(0, 0, 0));
            return brush_.get();
        default:
            return nullptr;
    }
}

void ManagementDialog::OnShow(bool shown) {
    if (shown)
        ui::PlaceOnMainWindowCorner(handle());
}

}  // namespace olvex
