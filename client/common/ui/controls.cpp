#include "client/common/ui/controls.h"

#include "client/common/ui/window.h"

namespace olvex::ui {
namespace {

constexpr UINT kUnchecked = 1;  // state image 1: empty box, 2: ticked
constexpr UINT kChecked = 2;

int CALLBACK CompareThrough(LPARAM a, LPARAM b, LPARAM compare) {
    return (*reinterpret_cast<const ListView::Comparison*>(compare))(a, b);
}

}  // namespace

void EnsureCommonControls() {
    static const bool done = [] {
        INITCOMMONCONTROLSEX controls{};
        controls.dwSize = sizeof(controls);
        controls.dwICC = ICC_WIN95_CLASSES;
        return InitCommonControlsEx(&controls) != FALSE;
    }();
    (void)done;
}

std::wstring Control::Text() const {
    return WindowText(handle_);
}

void Control::SetText(std::wstring_view text) const {
    if (handle_ != nullptr)
        SetWindowTextW(handle_, std::wstring(text).c_str());
}

void Control::Enable(bool enable) const {
    if (handle_ != nullptr)
        EnableWindow(handle_, enable ? TRUE : FALSE);
}

bool Control::IsEnabled() const {
    return handle_ != nullptr && IsWindowEnabled(handle_);
}

void Control::Show(bool show) const {
    if (handle_ != nullptr)
        ShowWindow(handle_, show ? SW_SHOW : SW_HIDE);
}

bool Control::IsVisible() const {
    return handle_ != nullptr && IsWindowVisible(handle_);
}

void Control::SetFont(HFONT font) const {
    if (handle_ != nullptr)
        SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

bool Button::IsChecked() const {
    return handle() != nullptr && SendMessageW(handle(), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Button::SetChecked(bool checked) const {
    if (handle() != nullptr)
        SendMessageW(handle(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Button::SetBitmap(HBITMAP bitmap) const {
    if (handle() != nullptr)
        SendMessageW(handle(), BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
}

void Edit::SetReadOnly(bool read_only) const {
    if (handle() != nullptr)
        SendMessageW(handle(), EM_SETREADONLY, read_only ? TRUE : FALSE, 0);
}

void Edit::SetLimit(int characters) const {
    if (handle() != nullptr)
        SendMessageW(handle(), EM_SETLIMITTEXT, static_cast<WPARAM>(characters), 0);
}

void ProgressBar::SetRange(int low, int high) const {
    if (handle() != nullptr)
        SendMessageW(handle(), PBM_SETRANGE32, static_cast<WPARAM>(low), high);
}

void ProgressBar::SetPosition(int position) const {
    if (handle() != nullptr)
        SendMessageW(handle(), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

int ProgressBar::Position() const {
    return handle() == nullptr ? 0 : static_cast<int>(SendMessageW(handle(), PBM_GETPOS, 0, 0));
}

ImageList ImageList::FromBitmap(HINSTANCE instance, int bitmap_id, int image_width, COLORREF mask) {
    EnsureCommonControls();
    ImageList images;
    images.list_.reset(ImageList_LoadImageW(instance, MAKEINTRESOURCEW(bitmap_id), image_width, 1,
                                            mask, IMAGE_BITMAP, LR_CREATEDIBSECTION));
    return images;
}

int ImageList::Count() const {
    return list_ ? ImageList_GetImageCount(list_.get()) : 0;
}

HTREEITEM TreeView::Insert(HTREEITEM parent, std::wstring_view text, LPARAM data, bool sorted,
                           bool checked, int image) const {
    if (handle() == nullptr)
        return nullptr;
    std::wstring item_text(text);
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = sorted ? TVI_SORT : TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_STATE | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    insert.item.pszText = item_text.data();
    insert.item.lParam = data;
    insert.item.iImage = image;
    insert.item.iSelectedImage = image;
    insert.item.stateMask = TVIS_STATEIMAGEMASK;
    insert.item.state = INDEXTOSTATEIMAGEMASK(checked ? kChecked : kUnchecked);
    return reinterpret_cast<HTREEITEM>(
        SendMessageW(handle(), TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

void TreeView::DeleteAll() const {
    if (handle() != nullptr)
        SendMessageW(handle(), TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
}

void TreeView::SetImageList(const ImageList& images) const {
    if (handle() != nullptr)
        SendMessageW(handle(), TVM_SETIMAGELIST, TVSIL_NORMAL,
                     reinterpret_cast<LPARAM>(images.handle()));
}

void TreeView::Expand(HTREEITEM item) const {
    if (handle() != nullptr)
        SendMessageW(handle(), TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
}

LPARAM TreeView::Data(HTREEITEM item) const {
    TVITEMW tv_item{};
    tv_item.mask = TVIF_PARAM | TVIF_HANDLE;
    tv_item.hItem = item;
    if (handle() == nullptr ||
        !SendMessageW(handle(), TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv_item)))
        return 0;
    return tv_item.lParam;
}

std::wstring TreeView::ItemText(HTREEITEM item) const {
    wchar_t buffer[1024] = {};
    TVITEMW tv_item{};
    tv_item.mask = TVIF_TEXT | TVIF_HANDLE;
    tv_item.hItem = item;
    tv_item.pszText = buffer;
    tv_item.cchTextMax = static_cast<int>(std::size(buffer));
    if (handle() == nullptr ||
        !SendMessageW(handle(), TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv_item)))
        return {};
    return tv_item.pszText;
}

bool TreeView::IsChecked(HTREEITEM item) const {
    if (handle() == nullptr || item == nullptr)
        return false;
    const auto state = static_cast<UINT>(SendMessageW(
        handle(), TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_STATEIMAGEMASK));
    return (state >> 12) == kChecked;
}

void TreeView::SetChecked(HTREEITEM item, bool checked) const {
    if (handle() == nullptr || item == nullptr)
        return;
    TVITEMW tv_item{};
    tv_item.mask = TVIF_STATE | TVIF_HANDLE;
    tv_item.hItem = item;
    tv_item.stateMask = TVIS_STATEIMAGEMASK;
    tv_item.state = INDEXTOSTATEIMAGEMASK(checked ? kChecked : kUnchecked);
    SendMessageW(handle(), TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tv_item));
}

std::vector<HTREEITEM> TreeView::Children(HTREEITEM parent) const {
    std::vector<HTREEITEM> children;
    if (handle() == nullptr)
        return children;
    auto item =
        reinterpret_cast<HTREEITEM>(parent == TVI_ROOT || parent == nullptr
                                        ? SendMessageW(handle(), TVM_GETNEXTITEM, TVGN_ROOT, 0)
                                        : SendMessageW(handle(), TVM_GETNEXTITEM, TVGN_CHILD,
                                                       reinterpret_cast<LPARAM>(parent)));
    while (item != nullptr) {
        children.push_back(item);
        item = reinterpret_cast<HTREEITEM>(
            SendMessageW(handle(), TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)));
    }
    return children;
}

int TreeView::Count() const {
    return handle() == nullptr ? 0 : static_cast<int>(SendMessageW(handle(), TVM_GETCOUNT, 0, 0));
}

HTREEITEM TreeView::Selected() const {
    return handle() == nullptr ? nullptr
                               : reinterpret_cast<HTREEITEM>(
                                     SendMessageW(handle(), TVM_GETNEXTITEM, TVGN_CARET, 0));
}

void TreeView::Select(HTREEITEM item) const {
    if (handle() != nullptr)
        SendMessageW(handle(), TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
}

TreeView::Hit TreeView::HitTest(POINT client) const {
    TVHITTESTINFO info{};
    info.pt = client;
    Hit hit;
    if (handle() == nullptr)
        return hit;
    hit.item = reinterpret_cast<HTREEITEM>(
        SendMessageW(handle(), TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&info)));
    hit.flags = info.flags;
    return hit;
}

TreeView::Hit TreeView::HitTestScreen(POINT screen) const {
    if (handle() == nullptr)
        return {};
    ScreenToClient(handle(), &screen);
    return HitTest(screen);
}

void ListView::SetFullRowSelect() const {
    if (handle() != nullptr)
        SendMessageW(handle(), LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT,
                     LVS_EX_FULLROWSELECT);
}

void ListView::AddColumn(int index, std::wstring_view title, int width) const {
    if (handle() == nullptr)
        return;
    std::wstring text(title);
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = width;
    column.pszText = text.data();
    column.iSubItem = index;
    SendMessageW(handle(), LVM_INSERTCOLUMNW, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&column));
}

int ListView::Insert(int index, std::wstring_view text, LPARAM data) const {
    if (handle() == nullptr)
        return -1;
    std::wstring item_text(text);
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = index;
    item.pszText = item_text.data();
    item.lParam = data;
    return static_cast<int>(
        SendMessageW(handle(), LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

void ListView::SetSubItem(int index, int column, std::wstring_view text) const {
    if (handle() == nullptr)
        return;
    std::wstring item_text(text);
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = item_text.data();
    SendMessageW(handle(), LVM_SETITEMTEXTW, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&item));
}

std::wstring ListView::ItemText(int index, int column) const {
    wchar_t buffer[1024] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = static_cast<int>(std::size(buffer));
    if (handle() == nullptr)
        return {};
    const auto length = SendMessageW(handle(), LVM_GETITEMTEXTW, static_cast<WPARAM>(index),
                                     reinterpret_cast<LPARAM>(&item));
    return std::wstring(buffer, static_cast<std::size_t>(length > 0 ? length : 0));
}

LPARAM ListView::Data(int index) const {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    if (handle() == nullptr ||
        !SendMessageW(handle(), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
        return 0;
    return item.lParam;
}

int ListView::Count() const {
    return handle() == nullptr ? 0
                               : static_cast<int>(SendMessageW(handle(), LVM_GETITEMCOUNT, 0, 0));
}

void ListView::DeleteAll() const {
    if (handle() != nullptr)
        SendMessageW(handle(), LVM_DELETEALLITEMS, 0, 0);
}

int ListView::Selected() const {
    return handle() == nullptr
               ? -1
               : static_cast<int>(SendMessageW(handle(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                               LVNI_SELECTED));
}

void ListView::Select(int index) const {
    if (handle() == nullptr)
        return;
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(handle(), LVM_SETITEMSTATE, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&item));
}

void ListView::Sort(const Comparison& compare) const {
    if (handle() != nullptr)
        SendMessageW(handle(), LVM_SORTITEMS, reinterpret_cast<WPARAM>(&compare),
                     reinterpret_cast<LPARAM>(&CompareThrough));
}

HTREEITEM InsertSortedRootItem(const TreeView& tree, std::wstring_view text) {
    return tree.Insert(TVI_ROOT, text, 0, true, false, 0);
}

void SetTreeChecks(const TreeView& tree, bool checked) {
    for (const HTREEITEM root : tree.Roots()) {
        tree.SetChecked(root, checked);
        for (const HTREEITEM child : tree.Children(root))
            tree.SetChecked(child, checked);
    }
}

}  // namespace olvex::ui
