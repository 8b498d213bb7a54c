// The protection program paints its dialogs, their static texts and their
// buttons on one background colour with black text (string 155, white), as
// its start-up sets for the whole program. Each dialog's OnControlColor asks
// here.
#pragma once

#include <windows.h>

namespace olvex::protect {

// Sets the colour every dialog of the program paints with from now on.
void SetDialogBackground(COLORREF background, COLORREF text = RGB(0, 0, 0));

// The brush for a WM_CTLCOLOR... message of a dialog (after setting the
// device context's colours), or null for the system's colours: for the
// dialog itself, static texts and buttons, while a background is set.
HBRUSH DialogBackgroundBrush(HDC dc, UINT message);

}  // namespace olvex::protect
