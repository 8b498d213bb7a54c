#include "testing/gui/window_driver.h"

#include <psapi.h>
#include <shellapi.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <utility>

#include "testing/gui/menu_reader.h"
#include "testing/gui/png_writer.h"
#include "testing/windows_test_support.h"

namespace olvex::gui {
namespace {

constexpr int kTextLimit = 1024;  // characters read of one item's text

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    const int length = GetClassNameW(window, name, 256);
    return std::wstring(name, length > 0 ? length : 0);
}

std::wstring WithoutAmpersands(const std::wstring& text) {
    std::wstring result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&' && i + 1 < text.size())
            ++i;  // "&&" shows one "&"
        result.push_back(text[i]);
    }
    return result;
}

bool IsButtonClass(const std::wstring& class_name) {
    return _wcsicmp(class_name.c_str(), L"Button") == 0;
}

LPARAM PointParam(POINT point) {
    return MAKELPARAM(static_cast<WORD>(point.x), static_cast<WORD>(point.y));
}

// A block of memory in another process (or this one) for the controls'
// messages that carry pointers: Wine hands such pointers through unchanged.
class RemoteBlock {
  public:
    RemoteBlock(HWND window, std::size_t size) : size_(size) {
        DWORD process_id = 0;
        GetWindowThreadProcessId(window, &process_id);
        process_ = OpenProcess(
            PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION,
            FALSE, process_id);
        if (process_)
            address_ = static_cast<std::byte*>(
                VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    }
    ~RemoteBlock() {
        if (address_)
            VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        if (process_)
            CloseHandle(process_);
    }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;

    explicit operator bool() const { return address_ != nullptr; }
    // The address of offset in the other process, as a message parameter.
    LPARAM At(std::size_t offset = 0) const { return reinterpret_cast<LPARAM>(address_ + offset); }
    template <typename T>
    T* Pointer(std::size_t offset = 0) const {
        return reinterpret_cast<T*>(address_ + offset);
    }

    bool Write(std::size_t offset, const void* data, std::size_t size) const {
        SIZE_T done = 0;
        return offset + size <= size_ &&
               WriteProcessMemory(process_, address_ + offset, data, size, &done) && done == size;
    }
    bool Read(std::size_t offset, void* data, std::size_t size) const {
        SIZE_T done = 0;
        return offset + size <= size_ &&
               ReadProcessMemory(process_, address_ + offset, data, size, &done) && done == size;
    }
    template <typename T>
    bool Write(const T& value, std::size_t offset = 0) const {
        return Write(offset, &value, sizeof(T));
    }
    template <typename T>
    bool Read(T& value, std::size_t offset = 0) const {
        return Read(offset, &value, sizeof(T));
    }
    std::wstring ReadText(std::size_t offset, std::size_t characters) const {
        std::wstring text(characters, L'\0');
        if (!Read(offset, text.data(), characters * sizeof(wchar_t)))
            return {};
        text.resize(wcsnlen(text.c_str(), characters));
        return text;
    }

  private:
    HANDLE process_ = nullptr;
    std::byte* address_ = nullptr;
    std::size_t size_;
};

LRESULT Send(HWND window, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
    return SendWindowMessage(window, message, wparam, lparam).result;
}

// The check state that a state image index stands for (1 clear, 2 ticked).
int CheckFromStateImage(UINT state) {
    const UINT image = (state & TVIS_STATEIMAGEMASK) >> 12;
    return image == 0 ? -1 : static_cast<int>(image) - 1;
}

struct TreeItemRead {
    std::wstring text;
    UINT state = 0;
    LPARAM data = 0;
};

std::optional<TreeItemRead> ReadTreeItem(HWND tree, HTREEITEM item) {
    RemoteBlock block(tree, sizeof(TVITEMW) + kTextLimit * sizeof(wchar_t));
    if (!block)
        return std::nullopt;
    TVITEMW query{};
    query.mask = TVIF_HANDLE | TVIF_TEXT | TVIF_STATE | TVIF_PARAM;
    query.hItem = item;
    query.stateMask = TVIS_STATEIMAGEMASK | TVIS_SELECTED | TVIS_EXPANDED;
    query.pszText = block.Pointer<wchar_t>(sizeof(TVITEMW));
    query.cchTextMax = kTextLimit;
    if (!block.Write(query) || !Send(tree, TVM_GETITEMW, 0, block.At()) || !block.Read(query))
        return std::nullopt;
    return TreeItemRead{block.ReadText(sizeof(TVITEMW), kTextLimit), query.state, query.lParam};
}

void WalkTree(HWND tree, HTREEITEM first, int depth, std::vector<TreeItem>& items) {
    for (HTREEITEM item = first; item != nullptr;
         item = reinterpret_cast<HTREEITEM>(
             Send(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)))) {
        const auto read = ReadTreeItem(tree, item);
        if (!read)
            return;
        items.push_back({item, depth, read->text, CheckFromStateImage(read->state),
                         (read->state & TVIS_SELECTED) != 0, (read->state & TVIS_EXPANDED) != 0,
                         read->data});
        const auto child = reinterpret_cast<HTREEITEM>(
            Send(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item)));
        WalkTree(tree, child, depth + 1, items);
    }
}

// The point in the middle of an item's check box, found by hit-testing left
// of its text; nullopt when it has none on screen.
std::optional<POINT> TreeCheckBoxPoint(HWND tree, HTREEITEM item) {
    Send(tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));
    RemoteBlock block(tree, sizeof(RECT) + sizeof(TVHITTESTINFO));
    RECT text_rect{};
    static_assert(sizeof(HTREEITEM) <= sizeof(RECT));
    std::memcpy(&text_rect, &item, sizeof(item));  // TVM_GETITEMRECT takes the item in the rect
    if (!block || !block.Write(text_rect) || !Send(tree, TVM_GETITEMRECT, TRUE, block.At()) ||
        !block.Read(text_rect))
        return std::nullopt;
    const LONG y = (text_rect.top + text_rect.bottom) / 2;
    for (LONG x = text_rect.left - 1; x >= 0 && x >= text_rect.left - 80; --x) {
        TVHITTESTINFO hit{};
        hit.pt = {x, y};
        if (!block.Write(hit, sizeof(RECT)))
            return std::nullopt;
        Send(tree, TVM_HITTEST, 0, block.At(sizeof(RECT)));
        if (!block.Read(hit, sizeof(RECT)))
            return std::nullopt;
        if ((hit.flags & TVHT_ONITEMSTATEICON) && hit.hItem == item) {
            // Walk on to the box's left edge, then take its middle.
            LONG left = x;
            while (left > 0) {
                TVHITTESTINFO next{};
                next.pt = {left - 1, y};
                block.Write(next, sizeof(RECT));
                Send(tree, TVM_HITTEST, 0, block.At(sizeof(RECT)));
                block.Read(next, sizeof(RECT));
                if (!(next.flags & TVHT_ONITEMSTATEICON))
                    break;
                --left;
            }
            return POINT{(left + x) / 2, y};
        }
    }
    return std::nullopt;
}

bool WaitForCheckChange(HWND tree, HTREEITEM item, int before, DWORD timeout_ms) {
    return WaitUntil([&] { return TreeItemCheck(tree, item) != before; }, timeout_ms);
}

// The screen's pixels in a rectangle, as red, green, blue rows from the top.
std::vector<std::uint8_t> CaptureScreen(const RECT& area) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0)
        return {};
    HDC screen = GetDC(nullptr);
    if (!screen)
        return {};
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    std::vector<std::uint8_t> rgb;
    if (memory && bitmap) {
        const HGDIOBJ previous = SelectObject(memory, bitmap);
        const bool copied = BitBlt(memory, 0, 0, width, height, screen, area.left, area.top,
                                   SRCCOPY | CAPTUREBLT) != FALSE;
        SelectObject(memory, previous);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;  // top-down rows
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        std::vector<std::uint8_t> bgra(static_cast<std::size_t>(width) * height * 4);
        if (copied &&
            GetDIBits(memory, bitmap, 0, height, bgra.data(), &info, DIB_RGB_COLORS) == height) {
            rgb.reserve(static_cast<std::size_t>(width) * height * 3);
            for (std::size_t i = 0; i < bgra.size(); i += 4)
                rgb.insert(rgb.end(), {bgra[i + 2], bgra[i + 1], bgra[i]});
        }
    }
    if (bitmap)
        DeleteObject(bitmap);
    if (memory)
        DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return rgb;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD timeout_ms, DWORD step_ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start >= timeout_ms)
            return false;
        Sleep(step_ms);
    }
}

// ---- top-level windows

std::vector<TopLevelWindow> ListTopLevelWindows() {
    std::vector<TopLevelWindow> windows;
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            auto& list = *reinterpret_cast<std::vector<TopLevelWindow>*>(param);
            TopLevelWindow entry;
            entry.handle = window;
            GetWindowThreadProcessId(window, &entry.process_id);
            entry.class_name = ClassOf(window);
            entry.title = GetText(window);
            entry.visible = IsWindowVisible(window) != FALSE;
            list.push_back(std::move(entry));
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

namespace {

bool Matches(const TopLevelWindow& window, const WindowQuery& query) {
    return (!query.title || window.title == *query.title) &&
           (!query.class_name || window.class_name == *query.class_name) &&
           (query.process_id == 0 || window.process_id == query.process_id) &&
           (!query.visible_only || window.visible);
}

HWND FindNow(const WindowQuery& query) {
    for (const auto& window : ListTopLevelWindows()) {
        if (Matches(window, query))
            return window.handle;
    }
    return nullptr;
}

}  // namespace

HWND FindTopLevelWindow(const WindowQuery& query, DWORD timeout_ms) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindNow(query)) != nullptr; }, timeout_ms);
    return found;
}

bool WaitForWindowGone(HWND window, DWORD timeout_ms) {
    return WaitUntil([&] { return !IsWindow(window); }, timeout_ms);
}

bool WaitForNoWindow(const WindowQuery& query, DWORD timeout_ms) {
    return WaitUntil([&] { return FindNow(query) == nullptr; }, timeout_ms);
}

// ---- child windows

std::vector<ChildWindow> ListChildren(HWND window) {
    struct Walk {
        HWND top;
        std::vector<ChildWindow> children;
    } walk{window, {}};
    EnumChildWindows(
        window,
        [](HWND child, LPARAM param) -> BOOL {
            auto& walk = *reinterpret_cast<Walk*>(param);
            ChildWindow entry;
            entry.handle = child;
            entry.parent = GetParent(child);
            entry.id = GetDlgCtrlID(child);
            entry.class_name = ClassOf(child);
            entry.text = GetText(child);
            entry.visible = IsWindowVisible(child) != FALSE;
            entry.enabled = IsWindowEnabled(child) != FALSE;
            entry.check = GetCheck(child);
            entry.rect = RectIn(child, walk.top);
            walk.children.push_back(std::move(entry));
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&walk));
    return walk.children;
}

HWND FindChild(HWND window, int id) {
    for (const auto& child : ListChildren(window)) {
        if (child.id == id)
            return child.handle;
    }
    return nullptr;
}

HWND FindChildByText(HWND window, const std::wstring& class_name, const std::wstring& text) {
    for (const auto& child : ListChildren(window)) {
        if (_wcsicmp(child.class_name.c_str(), class_name.c_str()) == 0 &&
            WithoutAmpersands(child.text) == WithoutAmpersands(text))
            return child.handle;
    }
    return nullptr;
}

std::wstring GetText(HWND window) {
    // Sent with a time-out: GetWindowText would wait on a hung program.
    const SendResult length = SendWindowMessage(window, WM_GETTEXTLENGTH, 0, 0);
    if (!length.completed || length.result <= 0)
        return {};
    std::wstring text(static_cast<std::size_t>(length.result) + 1, L'\0');
    const SendResult got =
        SendWindowMessage(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(got.completed ? static_cast<std::size_t>(got.result) : 0);
    return text;
}

bool SetText(HWND window, const std::wstring& text) {
    const SendResult sent =
        SendWindowMessage(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    return sent.completed && sent.result != FALSE;
}

int GetCheck(HWND button) {
    if (!IsButtonClass(ClassOf(button)))
        return -1;
    const LONG style = GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK;
    switch (style) {
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_3STATE:
        case BS_AUTO3STATE:
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
            return static_cast<int>(Send(button, BM_GETCHECK));
        default:
            return -1;
    }
}

RECT RectIn(HWND window, HWND reference) {
    RECT rect{};
    GetWindowRect(window, &rect);
    MapWindowPoints(HWND_DESKTOP, reference, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool ClickButton(HWND button) {
    if (!IsWindow(button) || !IsButtonClass(ClassOf(button)) || !IsWindowEnabled(button))
        return false;
    return PostWindowMessage(button, BM_CLICK, 0, 0);
}

bool ClickControl(HWND control) {
    RECT client{};
    if (!GetClientRect(control, &client))
        return false;
    const POINT middle{client.right / 2, client.bottom / 2};
    return PostWindowMessage(control, WM_LBUTTONDOWN, MK_LBUTTON, PointParam(middle)) &&
           PostWindowMessage(control, WM_LBUTTONUP, 0, PointParam(middle));
}

SendResult SendWindowMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                             DWORD timeout_ms) {
    SendResult sent;
    DWORD_PTR result = 0;
    const DWORD start = GetTickCount();
    SetLastError(ERROR_SUCCESS);
    sent.completed =
        SendMessageTimeoutW(window, message, wparam, lparam, SMTO_NORMAL, timeout_ms, &result) != 0;
    sent.elapsed_ms = GetTickCount() - start;
    sent.result = static_cast<LRESULT>(result);
    if (!sent.completed)
        sent.error = GetLastError() ? GetLastError() : ERROR_TIMEOUT;
    return sent;
}

bool PostWindowMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return PostMessageW(window, message, wparam, lparam) != FALSE;
}

// ---- dialogs and message boxes

DialogContents ReadDialog(HWND dialog) {
    DialogContents contents;
    contents.handle = dialog;
    contents.title = GetText(dialog);
    for (const auto& child : ListChildren(dialog)) {
        if (_wcsicmp(child.class_name.c_str(), L"Static") == 0 && !child.text.empty() &&
            child.visible) {
            if (!contents.text.empty())
                contents.text += L"\n";
            contents.text += child.text;
        } else if (IsButtonClass(child.class_name) && child.check < 0 && child.visible) {
            const LONG type = GetWindowLongW(child.handle, GWL_STYLE) & BS_TYPEMASK;
            if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON)
                contents.buttons.push_back(
                    {child.id, WithoutAmpersands(child.text), child.enabled});
        }
    }
    return contents;
}

HWND FindDialog(WindowQuery query, DWORD timeout_ms) {
    if (!query.class_name)
        query.class_name = L"#32770";
    return FindTopLevelWindow(query, timeout_ms);
}

bool PressButton(HWND dialog, int id) {
    for (const auto& child : ListChildren(dialog)) {
        if (child.id == id && IsButtonClass(child.class_name))
            return ClickButton(child.handle);
    }
    return false;
}

bool PressButton(HWND dialog, const std::wstring& caption) {
    const HWND button = FindChildByText(dialog, L"Button", caption);
    return button != nullptr && ClickButton(button);
}

std::optional<DialogContents> AnswerDialog(const WindowQuery& query, int button_id,
                                           DWORD timeout_ms) {
    const HWND dialog = FindDialog(query, timeout_ms);
    if (!dialog)
        return std::nullopt;
    DialogContents contents = ReadDialog(dialog);
    if (!PressButton(dialog, button_id) || !WaitForWindowGone(dialog, timeout_ms))
        return std::nullopt;
    return contents;
}

// ---- tree views and list views

std::vector<TreeItem> ReadTree(HWND tree) {
    std::vector<TreeItem> items;
    const auto root = reinterpret_cast<HTREEITEM>(Send(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    WalkTree(tree, root, 0, items);
    return items;
}

HTREEITEM FindTreeItem(HWND tree, const std::vector<std::wstring>& path) {
    HTREEITEM level = reinterpret_cast<HTREEITEM>(Send(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    HTREEITEM found = nullptr;
    for (const auto& text : path) {
        found = nullptr;
        for (HTREEITEM item = level; item != nullptr;
             item = reinterpret_cast<HTREEITEM>(
                 Send(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)))) {
            const auto read = ReadTreeItem(tree, item);
            if (read && read->text == text) {
                found = item;
                break;
            }
        }
        if (!found)
            return nullptr;
        level = reinterpret_cast<HTREEITEM>(
            Send(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(found)));
    }
    return found;
}

int TreeItemCheck(HWND tree, HTREEITEM item) {
    const auto read = ReadTreeItem(tree, item);
    return read ? CheckFromStateImage(read->state) : -1;
}

bool ToggleTreeItemByClick(HWND tree, HTREEITEM item, DWORD timeout_ms) {
    const int before = TreeItemCheck(tree, item);
    const auto point = TreeCheckBoxPoint(tree, item);
    if (before < 0 || !point)
        return false;
    // Both buttons go into the posted queue in order: the button-up waits
    // there when the tree's drag tracking starts looking. A button-up posted
    // before a sent button-down can be taken by the program's message loop
    // first, and the tracking then waits for a mouse that never comes.
    // The cursor goes to the box too, so that a mouse move Wine makes up on
    // its own stays inside the drag margin.
    POINT on_screen = *point;
    ClientToScreen(tree, &on_screen);
    SetCursorPos(on_screen.x, on_screen.y);
    PostWindowMessage(tree, WM_LBUTTONDOWN, MK_LBUTTON, PointParam(*point));
    PostWindowMessage(tree, WM_LBUTTONUP, 0, PointParam(*point));
    return WaitForCheckChange(tree, item, before, timeout_ms);
}

bool ClickTreeItemLabel(HWND tree, HTREEITEM item) {
    Send(tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));
    RemoteBlock block(tree, sizeof(RECT));
    RECT text_rect{};
    std::memcpy(&text_rect, &item, sizeof(item));  // TVM_GETITEMRECT takes the item in the rect
    if (!block || !block.Write(text_rect) || !Send(tree, TVM_GETITEMRECT, TRUE, block.At()) ||
        !block.Read(text_rect))
        return false;
    const POINT point{(text_rect.left + text_rect.right) / 2,
                      (text_rect.top + text_rect.bottom) / 2};
    // As for a box: both buttons queued in order, the cursor on the label.
    POINT on_screen = point;
    ClientToScreen(tree, &on_screen);
    SetCursorPos(on_screen.x, on_screen.y);
    return PostWindowMessage(tree, WM_LBUTTONDOWN, MK_LBUTTON, PointParam(point)) &&
           PostWindowMessage(tree, WM_LBUTTONUP, 0, PointParam(point));
}

bool ToggleTreeItemBySpace(HWND tree, HTREEITEM item, DWORD timeout_ms) {
    const int before = TreeItemCheck(tree, item);
    if (before < 0)
        return false;
    Send(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
    const UINT scan = MapVirtualKeyW(VK_SPACE, MAPVK_VK_TO_VSC);
    PostWindowMessage(tree, WM_KEYDOWN, VK_SPACE, 1 | (scan << 16));
    PostWindowMessage(tree, WM_KEYUP, VK_SPACE, 1 | (scan << 16) | (1u << 30) | (1u << 31));
    return WaitForCheckChange(tree, item, before, timeout_ms);
}

ListViewContents ReadListView(HWND list) {
    ListViewContents contents;
    const HWND header = reinterpret_cast<HWND>(Send(list, LVM_GETHEADER));
    const int columns = header ? static_cast<int>(Send(header, HDM_GETITEMCOUNT)) : 1;
    const std::size_t text_offset =
        sizeof(LVITEMW) > sizeof(LVCOLUMNW) ? sizeof(LVITEMW) : sizeof(LVCOLUMNW);
    RemoteBlock block(list, text_offset + kTextLimit * sizeof(wchar_t));
    if (!block)
        return contents;
    for (int column = 0; column < columns; ++column) {
        LVCOLUMNW query{};
        query.mask = LVCF_TEXT;
        query.pszText = block.Pointer<wchar_t>(text_offset);
        query.cchTextMax = kTextLimit;
        block.Write(query);
        block.Write(text_offset, L"", sizeof(wchar_t));
        Send(list, LVM_GETCOLUMNW, column, block.At());
        contents.columns.push_back(block.ReadText(text_offset, kTextLimit));
    }
    const int rows = static_cast<int>(Send(list, LVM_GETITEMCOUNT));
    for (int row = 0; row < rows; ++row) {
        std::vector<std::wstring> cells;
        for (int column = 0; column < columns; ++column) {
            LVITEMW query{};
            query.iSubItem = column;
            query.pszText = block.Pointer<wchar_t>(text_offset);
            query.cchTextMax = kTextLimit;
            block.Write(query);
            const auto length = Send(list, LVM_GETITEMTEXTW, row, block.At());
            cells.push_back(length > 0 ? block.ReadText(text_offset, kTextLimit) : std::wstring());
        }
        contents.rows.push_back(std::move(cells));
        const auto state = static_cast<UINT>(
            Send(list, LVM_GETITEMSTATE, row, LVIS_SELECTED | LVIS_STATEIMAGEMASK));
        contents.selected.push_back((state & LVIS_SELECTED) != 0);
        contents.checks.push_back(CheckFromStateImage(state));
    }
    return contents;
}

bool ClickListViewColumn(HWND list, int column) {
    const HWND header = reinterpret_cast<HWND>(Send(list, LVM_GETHEADER));
    if (!header)
        return false;
    RemoteBlock block(header, sizeof(RECT));
    RECT rect{};
    if (!block || !Send(header, HDM_GETITEMRECT, column, block.At()) || !block.Read(rect))
        return false;
    const POINT middle{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    return SendWindowMessage(header, WM_LBUTTONDOWN, MK_LBUTTON, PointParam(middle)).completed &&
           SendWindowMessage(header, WM_LBUTTONUP, 0, PointParam(middle)).completed;
}

// ---- screenshots

std::wstring ScreenshotFolder() {
    const wchar_t* folder = _wgetenv(L"OLVEX_SCREENSHOT_DIR");
    if (folder && *folder)
        return folder;
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    return current;
}

namespace {

constexpr DWORD kPaintWaitMs = 3000;
constexpr DWORD kDisplayCatchUpMs = 200;

DWORD WINAPI RedrawNow(void* window) {
    RedrawWindow(static_cast<HWND>(window), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    return 0;
}

// A window just shown or changed may not have painted yet: its thread paints
// when it next waits for messages, and the pixels reach the display a moment
// later. Its thread paints the whole window now (from a thread of our own,
// bounded, so that a busy or hung program cannot hold up the test), is given
// the time to become idle, and the display the time to catch up.
void WaitUntilPainted(HWND window) {
    if (const HANDLE thread = CreateThread(nullptr, 0, RedrawNow, window, 0, nullptr)) {
        WaitForSingleObject(thread, kPaintWaitMs);
        CloseHandle(thread);
    }
    DWORD process_id = 0;
    GetWindowThreadProcessId(window, &process_id);
    if (const HANDLE process =
            OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, process_id)) {
        WaitForInputIdle(process, kPaintWaitMs);
        CloseHandle(process);
    }
    Sleep(kDisplayCatchUpMs);
}

}  // namespace

std::wstring SaveScreenshot(HWND window, const std::string& name) {
    RECT area{};
    if (window) {
        WaitUntilPainted(window);
        if (!GetWindowRect(window, &area))
            return {};
    } else {
        area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    }
    // Only what lies on the screen can be captured.
    const RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    IntersectRect(&area, &area, &screen);
    const auto pixels = CaptureScreen(area);
    if (pixels.empty())
        return {};
    const auto png = EncodePng(static_cast<std::uint32_t>(area.right - area.left),
                               static_cast<std::uint32_t>(area.bottom - area.top), pixels);
    std::wstring file_name;
    for (const char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
        file_name.push_back(plain ? static_cast<wchar_t>(c) : L'_');
    }
    const std::wstring folder = ScreenshotFolder();
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring path = folder + L"\\" + file_name + L".png";
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    out.close();
    return out ? path : std::wstring();
}

}  // namespace olvex::gui

// ---- dialogs without a caption, the notification area, popup menus, the
// screen

namespace olvex::gui {
namespace {

// A module's base in another process, by its file name.
HMODULE RemoteModule(HANDLE process, const wchar_t* name) {
    HMODULE modules[1024];
    DWORD needed = 0;
    if (!EnumProcessModules(process, modules, sizeof(modules), &needed))
        return nullptr;
    const DWORD count = std::min<DWORD>(needed / sizeof(HMODULE), 1024);
    for (DWORD i = 0; i < count; ++i) {
        wchar_t base[MAX_PATH] = {};
        if (GetModuleBaseNameW(process, modules[i], base, MAX_PATH) && _wcsicmp(base, name) == 0)
            return modules[i];
    }
    return nullptr;
}

// Runs the function at the same offset in the other process's copy of the
// module as in ours, with the argument; whether it ran to its end.
bool RunRemote(HANDLE process, HMODULE local_module, HMODULE remote_module, FARPROC local,
               void* argument) {
    if (!local_module || !remote_module || !local)
        return false;
    const auto offset =
        reinterpret_cast<std::uintptr_t>(local) - reinterpret_cast<std::uintptr_t>(local_module);
    const auto start = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<std::uintptr_t>(remote_module) + offset);
    const HANDLE thread = CreateRemoteThread(process, nullptr, 0, start, argument, 0, nullptr);
    if (!thread)
        return false;
    const bool ended = WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0;
    CloseHandle(thread);
    return ended;
}

std::wstring MenuReaderPath() {
#ifdef OLVEX_MENU_READER_DLL
    return testing::WindowsPath(OLVEX_MENU_READER_DLL);
#else
    wchar_t own[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, own, MAX_PATH);
    std::wstring path = own;
    return path.substr(0, path.find_last_of(L'\\') + 1) + kMenuReaderFileName;
#endif
}

HWND FindPopupMenuWindow(DWORD process_id) {
    for (const auto& window : ListTopLevelWindows()) {
        if (window.class_name == L"#32768" && window.visible && window.process_id == process_id)
            return window.handle;
    }
    return nullptr;
}

std::optional<PopupMenu> ReadMenuOf(HWND popup) {
    DWORD process_id = 0;
    GetWindowThreadProcessId(popup, &process_id);
    const auto menu = SendWindowMessage(popup, MN_GETHMENU, 0, 0);
    if (!menu.completed || menu.result == 0)
        return std::nullopt;
    const std::wstring dll = MenuReaderPath();
    const HMODULE local_reader = LoadLibraryW(dll.c_str());
    const HMODULE local_kernel = GetModuleHandleW(L"kernel32.dll");
    if (!local_reader)
        return std::nullopt;
    const HANDLE process =
        OpenProcess(PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION | PROCESS_VM_OPERATION |
                        PROCESS_VM_READ | PROCESS_VM_WRITE,
                    FALSE, process_id);
    std::optional<PopupMenu> result;
    void* block = nullptr;
    if (process)
        block = VirtualAllocEx(process, nullptr, sizeof(MenuReadBlock) + MAX_PATH * sizeof(wchar_t),
                               MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (block) {
        // The DLL's path goes after the block; the other process loads it.
        auto* path_at = static_cast<std::byte*>(block) + sizeof(MenuReadBlock);
        MenuReadBlock request{};
        request.menu = static_cast<std::uint64_t>(menu.result);
        request.count = -1;
        SIZE_T written = 0;
        const bool loaded = WriteProcessMemory(process, path_at, dll.c_str(),
                                               (dll.size() + 1) * sizeof(wchar_t), &written) &&
                            RunRemote(process, local_kernel, RemoteModule(process, L"kernel32.dll"),
                                      GetProcAddress(local_kernel, "LoadLibraryW"), path_at);
        auto read = std::make_unique<MenuReadBlock>();
        if (loaded && WriteProcessMemory(process, block, &request, sizeof(request), &written) &&
            RunRemote(process, local_reader, RemoteModule(process, kMenuReaderFileName),
                      GetProcAddress(local_reader, kReadMenuExport), block) &&
            ReadProcessMemory(process, block, read.get(), sizeof(MenuReadBlock), &written) &&
            read->count >= 0) {
            PopupMenu contents;
            contents.window = popup;
            const int count = std::min(read->count, MenuReadBlock::kMostItems);
            for (int i = 0; i < count; ++i) {
                const auto& item = read->items[i];
                MenuItem entry;
                entry.id = item.id;
                entry.text.assign(item.text, wcsnlen(item.text, MenuReadBlock::kTextLength));
                entry.separator = (item.type & MFT_SEPARATOR) != 0;
                entry.grayed = (item.state & (MFS_GRAYED | MFS_DISABLED)) != 0;
                entry.checked = (item.state & MFS_CHECKED) != 0;
                entry.is_default = !entry.separator && item.id == read->default_id;
                contents.items.push_back(std::move(entry));
            }
            result = std::move(contents);
        }
        VirtualFreeEx(process, block, 0, MEM_RELEASE);
    }
    if (process)
        CloseHandle(process);
    FreeLibrary(local_reader);
    return result;
}

void PostKey(HWND window, WPARAM key) {
    PostWindowMessage(window, WM_KEYDOWN, key, 1);
    PostWindowMessage(window, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
}

}  // namespace

HWND FindDialogWithControl(DWORD process_id, int control_id, DWORD timeout_ms) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (const auto& window : ListTopLevelWindows()) {
                if (window.class_name == L"#32770" && window.visible &&
                    (process_id == 0 || window.process_id == process_id) &&
                    FindChild(window.handle, control_id) != nullptr) {
                    found = window.handle;
                    return true;
                }
            }
            return false;
        },
        timeout_ms);
    return found;
}

bool TrayIconExists(HWND window, UINT icon_id) {
    NOTIFYICONDATAW probe{};
    probe.cbSize = NOTIFYICONDATAW_V1_SIZE;
    probe.hWnd = window;
    probe.uID = icon_id;
    probe.uFlags = 0;
    return Shell_NotifyIconW(NIM_MODIFY, &probe) != FALSE;
}

std::optional<PopupMenu> ReadPopupMenu(DWORD process_id, DWORD timeout_ms) {
    HWND popup = nullptr;
    WaitUntil([&] { return (popup = FindPopupMenuWindow(process_id)) != nullptr; }, timeout_ms);
    if (!popup)
        return std::nullopt;
    return ReadMenuOf(popup);
}

bool ChoosePopupMenuItem(const PopupMenu& menu, UINT command) {
    // Down from no selection to the item (separators are passed over, greyed
    // items are not), then Enter.
    int downs = 0;
    for (const auto& item : menu.items) {
        if (item.separator)
            continue;
        ++downs;
        if (item.id == command) {
            for (int i = 0; i < downs; ++i)
                PostKey(menu.window, VK_DOWN);
            PostKey(menu.window, VK_RETURN);
            return true;
        }
    }
    return false;
}

bool ClosePopupMenu(const PopupMenu& menu) {
    PostKey(menu.window, VK_ESCAPE);
    return WaitForWindowGone(menu.window, 5000) || !IsWindowVisible(menu.window);
}

bool ResizeScreen(int width, int height) {
    DEVMODEW mode{};
    mode.dmSize = sizeof(mode);
    mode.dmPelsWidth = static_cast<DWORD>(width);
    mode.dmPelsHeight = static_cast<DWORD>(height);
    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
    return ChangeDisplaySettingsW(&mode, 0) == DISP_CHANGE_SUCCESSFUL;
}

}  // namespace olvex::gui
