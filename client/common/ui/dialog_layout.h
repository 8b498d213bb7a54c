// The layout steps the programs' dialogs and pages share: removing the hidden
// band at the top of their templates, placing a dialog on the main window and
// keeping a resizable dialog at least as large as it first was.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <optional>
#include <span>

#include "client/common/ui/band_layout.h"

namespace olvex::ui {

// `MoveDlgItemUp`: moves the parent's control 60 pixels up, size and z-order
// kept. A control the window lacks is skipped: FALSE, nothing moves.
BOOL MoveDlgItemUp(HWND parent, int id);

// `HideDlgItem`: hides and disables the parent's control; a control the
// window lacks is skipped.
void HideDlgItem(HWND parent, int id);

// The whole band step: moves each listed control up, hides and disables the
// band's own controls, and, for a top-level dialog, makes its window 60
// pixels shorter (same left, top and width).
void RemoveTopBand(HWND window, std::span<const int> moved, std::span<const int> band,
                   bool shorten_window);
inline void RemoveTopBand(HWND window, std::initializer_list<int> moved,
                          std::initializer_list<int> band, bool shorten_window) {
    RemoveTopBand(window, std::span(moved.begin(), moved.size()),
                  std::span(band.begin(), band.size()), shorten_window);
}

// Makes a frame 60 pixels shorter in its client area, borders kept.
void ShortenFrameByBand(HWND frame);

// Moves the window so that its top-left corner lies on the anchor's (the
// main window's), its size kept. Nothing happens without an anchor.
void PlaceOnCorner(HWND window, HWND anchor);
// The same on the running application's main window: the shared showing
// handler of the main program's dialogs.
void PlaceOnMainWindowCorner(HWND window);

// A control moved by dx and dy and grown by dw and dh, in its parent's
// client coordinates, z-order kept.
void MoveItemBy(HWND parent, int id, int dx, int dy);
void GrowItemBy(HWND parent, int id, int dw, int dh);

// Resizable dialogs: feed every WM_SIZE here. The first report after Reset
// fixes the minimum; a smaller one resizes the window back (the report that
// follows does the layout); others give the change to move the controls by.
class MinimumSize {
  public:
    void Reset() { tracker_.Reset(); }
    // The change to lay the controls out by, or nullopt when they stay.
    std::optional<ResizeTracker::Step> OnSize(HWND dialog, UINT kind, int width, int height);
    std::optional<Size> minimum() const { return tracker_.minimum(); }

  private:
    ResizeTracker tracker_;
};

}  // namespace olvex::ui
