// Thin views of the common controls a dialog holds. They own nothing: the
// dialog's window owns its controls, so a view is made from the dialog and an
// id whenever it is needed. Image lists are the exception: ImageList owns its
// list and destroys it.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "win/unique.h"

namespace olvex::ui {

// Makes the tree, list and other common control classes known; the dialogs
// call it before their first template is loaded.
void EnsureCommonControls();

class Control {
  public:
    explicit Control(HWND handle) : handle_(handle) {}
    Control(HWND dialog, int id) : handle_(GetDlgItem(dialog, id)) {}
    HWND handle() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    int id() const { return handle_ == nullptr ? 0 : GetDlgCtrlID(handle_); }

    std::wstring Text() const;
    void SetText(std::wstring_view text) const;
    void Enable(bool enable) const;
    bool IsEnabled() const;
    void Show(bool show) const;
    bool IsVisible() const;
    void SetFont(HFONT font) const;

  private:
    HWND handle_;
};

class Button : public Control {
  public:
    using Control::Control;
    bool IsChecked() const;
    void SetChecked(bool checked) const;
    // Shows a bitmap on the button (BM_SETIMAGE); the caller keeps it alive.
    void SetBitmap(HBITMAP bitmap) const;
};

class Edit : public Control {
  public:
    using Control::Control;
    void SetReadOnly(bool read_only) const;
    void SetLimit(int characters) const;
};

class Static : public Control {
  public:
    using Control::Control;
};

class ProgressBar : public Control {
  public:
    using Control::Control;
    void SetRange(int low, int high) const;
    void SetPosition(int position) const;
    int Position() const;
};

// An image list made from a bitmap resource of width * count pixels, the
// mask colour shown transparent.
class ImageList {
  public:
    static ImageList FromBitmap(HINSTANCE instance, int bitmap_id, int image_width, COLORREF mask);
    HIMAGELIST handle() const { return list_.get(); }
    explicit operator bool() const { return static_cast<bool>(list_); }
    int Count() const;

  private:
    struct Traits {
        using Handle = HIMAGELIST;
        static Handle Empty() { return nullptr; }
        static bool Owns(Handle list) { return list != nullptr; }
        static void Close(Handle list) { ImageList_Destroy(list); }
    };
    win::Unique<Traits> list_;
};

// A tree view with check boxes (TVS_CHECKBOXES in the template). Items go in
// with an explicit state image: a check box set only after insertion is not
// shown by every system.
class TreeView : public Control {
  public:
    using Control::Control;

    // Inserts under parent (TVI_ROOT for the top level) in sorted order, or at
    // the end; the new item, null on failure.
    HTREEITEM Insert(HTREEITEM parent, std::wstring_view text, LPARAM data = 0, bool sorted = true,
                     bool checked = false, int image = 0) const;
    void DeleteAll() const;
    void SetImageList(const ImageList& images) const;
    void Expand(HTREEITEM item) const;

    LPARAM Data(HTREEITEM item) const;
    std::wstring ItemText(HTREEITEM item) const;
    bool IsChecked(HTREEITEM item) const;
    void SetChecked(HTREEITEM item, bool checked) const;

    std::vector<HTREEITEM> Children(HTREEITEM parent) const;  // TVI_ROOT: top level
    std::vector<HTREEITEM> Roots() const { return Children(TVI_ROOT); }
    int Count() const;
    HTREEITEM Selected() const;
    void Select(HTREEITEM item) const;

    struct Hit {
        HTREEITEM item = nullptr;
        UINT flags = 0;  // TVHT_...
        bool on_check_box() const { return item != nullptr && (flags & TVHT_ONITEMSTATEICON); }
    };
    // What lies under a point in the tree's client coordinates.
    Hit HitTest(POINT client) const;
    // What lies under the cursor (the message's position, in screen
    // coordinates).
    Hit HitTestScreen(POINT screen) const;
};

// A report-style list view.
class ListView : public Control {
  public:
    using Control::Control;

    void SetFullRowSelect() const;
    void AddColumn(int index, std::wstring_view title, int width) const;
    // Inserts an item at index; its index, -1 on failure.
    int Insert(int index, std::wstring_view text, LPARAM data = 0) const;
    void SetSubItem(int index, int column, std::wstring_view text) const;
    std::wstring ItemText(int index, int column = 0) const;
    LPARAM Data(int index) const;
    int Count() const;
    void DeleteAll() const;
    int Selected() const;  // -1 when none
    void Select(int index) const;

    // Sorts the items by comparing their item data: negative when a goes
    // before b.
    using Comparison = std::function<int(LPARAM a, LPARAM b)>;
    void Sort(const Comparison& compare) const;
};

// `InsertSortedRootItem`: a top-level item in sorted order with image 0.
HTREEITEM InsertSortedRootItem(const TreeView& tree, std::wstring_view text);
// `SetTreeChecks`: ticks or clears every top-level item and its direct
// children.
void SetTreeChecks(const TreeView& tree, bool checked);

}  // namespace olvex::ui
