// The wait cursor, fonts in points and
// colours from the string table, transparent labels over a background picture
// and link statics with the program's hand cursor.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string_view>
#include <vector>

#include "win/unique.h"

namespace olvex::ui {

// Shows the hourglass while it lives, then the cursor that was shown before.
class WaitCursor {
  public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

  private:
    HCURSOR previous_;
};

// A text of the program's string table; empty when there is none.
std::wstring LoadText(UINT id, HINSTANCE instance = nullptr);

// A font of size tenths of a point on the device, with weight (FW_BOLD ...)
// and underline.
win::UniqueFont CreatePointFont(std::wstring_view face, int tenths_of_point, int weight,
                                bool underline, HDC dc);
// The same with the face and the size in points taken from the string table,
// the size given as a whole number ("12"); an empty font when either entry is
// missing or no number.
win::UniqueFont CreatePointFontFromResources(UINT face_id, UINT points_id, int weight,
                                             bool underline, HDC dc, HINSTANCE instance = nullptr);

// `ColorFromResource`: the colour a string table entry "r,g,b" names;
// fallback when the entry is missing or malformed.
COLORREF ColorFromResource(UINT id, COLORREF fallback = RGB(0, 0, 0), HINSTANCE instance = nullptr);

// Stretches the whole bitmap over the rectangle with a plain copy.
void StretchBitmap(HDC dc, HBITMAP bitmap, const RECT& target);

// Labels drawn straight on a dialog's background picture: each listed
// control gets the transparent background mode and, when given, its text
// colour. Use from the dialog's OnControlColor.
class TransparentLabels {
  public:
    void Add(int id, std::optional<COLORREF> colour = std::nullopt);
    // The hollow brush for a listed control (after setting its mode and
    // colour), null for any other.
    HBRUSH Apply(HDC dc, HWND control) const;

  private:
    std::map<int, std::optional<COLORREF>> labels_;
};

// Changes a transparent label's text and has the parent repaint the
// background under it: the label alone would draw the new text over the old.
void SetLabelText(HWND parent, int id, std::wstring_view text);

// Static texts that act as links: over one of them the program's hand cursor
// shows, elsewhere the arrow. Use from the dialog's OnSetCursor. The
// statics need SS_NOTIFY to report clicks.
class LinkCursor {
  public:
    // The cursor is the program's resource cursor_id (134 in the programs);
    // without one, the system's hand.
    explicit LinkCursor(int cursor_id, HINSTANCE instance = nullptr);
    void AddLink(HWND link) { links_.push_back(link); }
    // Sets the hand over a shown link under the cursor, else the arrow; true
    // when the hand was set.
    bool Update() const;
    HCURSOR hand() const { return hand_; }

  private:
    HCURSOR hand_;
    std::vector<HWND> links_;
};

}  // namespace olvex::ui
