#include "client/protect/dialog_colours.h"

#include <optional>

#include "client/common/ui/gdi.h"

namespace olvex::protect {
namespace {

struct Colours {
    COLORREF background;
    COLORREF text;
    win::UniqueBrush brush;
};

std::optional<Colours>& ProgramColours() {
    static std::optional<Colours> colours;
    return colours;
}

}  // namespace

void SetDialogBackground(COLORREF background, COLORREF text) {
    ProgramColours().emplace(
        Colours{background, text, win::UniqueBrush(CreateSolidBrush(background))});
}

HBRUSH DialogBackgroundBrush(HDC dc, UINT message) {
    const auto& colours = ProgramColours();
    if (!colours)
        return nullptr;
    switch (message) {
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORMSGBOX:
            SetBkColor(dc, colours->background);
            SetTextColor(dc, colours->text);
            return colours->brush.get();
        default:
            return nullptr;
    }
}

}  // namespace olvex::protect
