// Drawing objects with one owner each, the wait cursor, fonts in points and
// colours from the string table, transparent labels over a background picture
// and link statics with the program's hand cursor.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace olvex::ui {

// A font, brush, pen or bitmap, deleted once. Stock objects must not be put
// in one.
template <typename Handle>
class GdiObject {
  public:
    GdiObject() = default;
    explicit GdiObject(Handle owned) : handle_(owned) {}
    ~GdiObject() { reset(); }
    GdiObject(GdiObject&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    GdiObject& operator=(GdiObject&& other) noexcept {
        if (this != &other)
            reset(std::exchange(other.handle_, nullptr));
        return *this;
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    void reset(Handle owned = nullptr) {
        if (handle_ != nullptr)
            DeleteObject(handle_);
        handle_ = owned;
    }

  private:
    Handle handle_ = nullptr;
};

using Font = GdiObject<HFONT>;
using Brush = GdiObject<HBRUSH>;
using Bitmap = GdiObject<HBITMAP>;
using Pen = GdiObject<HPEN>;

// A memory device context compatible with another, deleted once.
class MemoryDc {
  public:
    explicit MemoryDc(HDC compatible_with) : dc_(CreateCompatibleDC(compatible_with)) {}
    ~MemoryDc() {
        if (dc_ != nullptr)
            DeleteDC(dc_);
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    HDC get() const { return dc_; }

  private:
    HDC dc_;
};

// Selects an object into a device context and puts the previous one back.
class SelectedObject {
  public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~SelectedObject() {
        if (previous_ != nullptr && previous_ != HGDI_ERROR)
            SelectObject(dc_, previous_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

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
Font CreatePointFont(std::wstring_view face, int tenths_of_point, int weight, bool underline,
                     HDC dc);
// The same with the face and the size in points taken from the string table,
// the size given as a whole number ("12"); an empty font when either entry is
// missing or no number.
Font CreatePointFontFromResources(UINT face_id, UINT points_id, int weight, bool underline, HDC dc,
                                  HINSTANCE instance = nullptr);

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
