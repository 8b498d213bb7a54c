// Layout arithmetic of the dialogs and pages, free of the window system so
// that it is checked natively: the hidden band at the top of the templates,
// the minimum size of resizable dialogs and the placement on the main window.
#pragma once

#include <optional>

namespace olvex::ui {

// The templates reserve a band this many pixels high at their top that is
// never shown. Pixels, not dialog units: the same shift whatever the font.
inline constexpr int kBandHeight = 60;

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct Size {
    int width = 0;
    int height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

// A control's rectangle (in its parent's client coordinates) moved up by the
// band: top and bottom less, left and size kept.
Rect MovedAboveBand(const Rect& control);

// A top-level window's rectangle once the band is gone: same left, top and
// width, the band less high (never below zero).
Rect ShortenedByBand(const Rect& window);

// A window moved so that its top-left corner lies on the anchor's, its size
// kept.
Rect PlacedOnCorner(const Rect& window, const Rect& anchor);

// The size rule of resizable dialogs. The first size report after the
// dialog's initialisation (Reset) fixes the minimum; smaller reports make the
// dialog snap back; others move the controls by the change since the last
// one.
class ResizeTracker {
  public:
    struct Step {
        enum class Kind {
            kRecorded,  // first report: the minimum is now known, nothing moves
            kLayout,    // move and stretch the controls by dx and dy
            kSnapBack,  // resize the client area to snap_to; controls move on its report
        };
        Kind kind = Kind::kRecorded;
        int dx = 0;
        int dy = 0;
        Size snap_to;
    };

    // Forgets the minimum and the last size: the next report sets them.
    void Reset();
    Step OnClientSize(Size client);

    std::optional<Size> minimum() const { return minimum_; }

  private:
    std::optional<Size> minimum_;
    Size last_;
};

}  // namespace olvex::ui
