// The window driver: how tests reach the windows of the programs they start,
// by messages, never by screen coordinates. Windows GoogleTest programs link
// it and call it in-process; windriver.exe offers the same for scripts.
//
//     HWND box = gui::FindTopLevelWindow({.title = L"Kelvan Gorsewatch"}, 10000);
//     auto shown = gui::ReadDialog(box);            // title, texts, buttons
//     gui::SaveScreenshot(box, "confirm-box");      // PNG in OLVEX_SCREENSHOT_DIR
//     gui::PressButton(box, IDYES);
//     ASSERT_TRUE(gui::WaitForWindowGone(box, 5000));
//
// Everything here works on windows of other processes. Wine does not marshal
// the tree-view and list-view messages that carry pointers, so those read
// through the other process's memory. Every wait is bounded by the caller's
// time-out; sends give up after a time-out too (a hung program fails a test,
// it never hangs it).
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace olvex::gui {

// How long a send waits for the other program before giving up.
inline constexpr DWORD kDefaultSendTimeoutMs = 5000;

// Polls condition every step_ms until it holds or timeout_ms have passed;
// whether it held. The condition is asked at least once.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeout_ms, DWORD step_ms = 20);

// ---- top-level windows

struct TopLevelWindow {
    HWND handle = nullptr;
    DWORD process_id = 0;
    std::wstring class_name;
    std::wstring title;
    bool visible = false;
};

std::vector<TopLevelWindow> ListTopLevelWindows();

// What a top-level window must have: each given field must match exactly.
struct WindowQuery {
    std::optional<std::wstring> title = std::nullopt;
    std::optional<std::wstring> class_name = std::nullopt;
    DWORD process_id = 0;  // 0: any process
    bool visible_only = false;
};

// The first matching window, waiting up to timeout_ms for one to come; null
// when none came.
HWND FindTopLevelWindow(const WindowQuery& query, DWORD timeout_ms = 0);
// Whether the window went (was destroyed) within timeout_ms.
bool WaitForWindowGone(HWND window, DWORD timeout_ms);
// Whether no window matched the query any more within timeout_ms.
bool WaitForNoWindow(const WindowQuery& query, DWORD timeout_ms);

// ---- child windows

struct ChildWindow {
    HWND handle = nullptr;
    HWND parent = nullptr;
    int id = 0;
    std::wstring class_name;
    std::wstring text;
    bool visible = false;
    bool enabled = false;
    int check = -1;  // BST_UNCHECKED/CHECKED/INDETERMINATE for check boxes and radio buttons
    RECT rect{};     // in the top window's client coordinates
};

// Every child window under the window, at any depth, in window order.
std::vector<ChildWindow> ListChildren(HWND window);
// The first child (at any depth) with the control id; null when none.
HWND FindChild(HWND window, int id);
// The first child (at any depth) of the class whose text is text (with any
// "&" removed); null when none.
HWND FindChildByText(HWND window, const std::wstring& class_name, const std::wstring& text);

std::wstring GetText(HWND window);
bool SetText(HWND window, const std::wstring& text);
// The check state of a check box or radio button; -1 for any other window.
int GetCheck(HWND button);
// A window's rectangle in another window's client coordinates.
RECT RectIn(HWND window, HWND reference);

// Presses a button the way a click does (BM_CLICK), posted, so a button
// that opens a modal dialog does not block the caller. False when the
// window is no button or is disabled.
bool ClickButton(HWND button);
// A click of the left mouse button in the middle of a control, posted (for
// link statics and other controls that act on the mouse).
bool ClickControl(HWND control);

struct SendResult {
    bool completed = false;  // false: the window did not answer in time or is gone
    LRESULT result = 0;
    DWORD elapsed_ms = 0;  // how long the send blocked
    DWORD error = 0;       // GetLastError when not completed
};

SendResult SendWindowMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                             DWORD timeout_ms = kDefaultSendTimeoutMs);
bool PostWindowMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// ---- dialogs and message boxes

struct DialogButton {
    int id = 0;
    std::wstring text;  // as shown, "&" removed
    bool enabled = false;
};

struct DialogContents {
    HWND handle = nullptr;
    std::wstring title;
    // The non-empty texts of the dialog's static controls in window order
    // joined by "\n": a message box's message.
    std::wstring text;
    std::vector<DialogButton> buttons;
};

DialogContents ReadDialog(HWND dialog);
// The first dialog box (class "#32770") matching the query, waiting up to
// timeout_ms; a query without a class gets "#32770".
HWND FindDialog(WindowQuery query, DWORD timeout_ms);
// Presses the dialog's button with the id, or with the caption ("&" ignored).
bool PressButton(HWND dialog, int id);
bool PressButton(HWND dialog, const std::wstring& caption);
// Finds the dialog, reads it, presses the button and waits for the dialog
// to go; nullopt when no dialog came, the button is missing or the dialog
// stayed.
std::optional<DialogContents> AnswerDialog(const WindowQuery& query, int button_id,
                                           DWORD timeout_ms);

// ---- tree views and list views (of any process)

struct TreeItem {
    HTREEITEM handle = nullptr;
    int depth = 0;  // 0 for a root item
    std::wstring text;
    int check = -1;  // -1 no check box, 0 clear, 1 ticked (from the state image)
    bool selected = false;
    bool expanded = false;
    LPARAM data = 0;
};

// Every item, depth first, in display order; empty when the tree cannot be read.
std::vector<TreeItem> ReadTree(HWND tree);
// The item reached by following texts from the root; null when missing.
HTREEITEM FindTreeItem(HWND tree, const std::vector<std::wstring>& path);
// The item's check state as ReadTree gives it.
int TreeItemCheck(HWND tree, HTREEITEM item);
// Toggles the item's check box with a click on its box: button-down and
// button-up are posted together, since a button-down alone keeps Wine's tree
// in its drag tracking until a button-up arrives. True once the check state
// changed.
bool ToggleTreeItemByClick(HWND tree, HTREEITEM item, DWORD timeout_ms = 5000);
// Clicks the middle of the item's label (button-down and button-up posted
// together, the cursor there); true when the clicks were posted.
bool ClickTreeItemLabel(HWND tree, HTREEITEM item);
// Selects the item and presses the space bar on it (posted, through the
// program's own message loop). True once the check state changed.
bool ToggleTreeItemBySpace(HWND tree, HTREEITEM item, DWORD timeout_ms = 5000);

struct ListViewContents {
    std::vector<std::wstring> columns;
    std::vector<std::vector<std::wstring>> rows;  // one text per column
    std::vector<bool> selected;
    std::vector<int> checks;  // -1 no check box, 0 clear, 1 ticked
};

ListViewContents ReadListView(HWND list);
// Clicks the column's header (button down and up, sent, so the list has
// handled the click, and sorted, when this returns).
bool ClickListViewColumn(HWND list, int column);

// ---- dialogs without a caption, the notification area, popup menus, the
// screen

// The first visible top-level dialog (class "#32770") of the process with a
// control of the id at any depth, waiting up to timeout_ms; null when none
// came. For dialogs without a title.
HWND FindDialogWithControl(DWORD process_id, int control_id, DWORD timeout_ms);

// Whether the notification area holds the icon with the id of the window (of
// any process): a change without flags (NIM_MODIFY) succeeds exactly while
// it does. The notification area needs Wine's virtual desktop
// (olvex_add_gui_test DESKTOP).
bool TrayIconExists(HWND window, UINT icon_id);

struct MenuItem {
    UINT id = 0;
    std::wstring text;  // as written, "&" kept
    bool separator = false;
    bool grayed = false;  // greyed or disabled
    bool checked = false;
    bool is_default = false;
};

struct PopupMenu {
    HWND window = nullptr;  // the menu's "#32768" window
    std::vector<MenuItem> items;
};

// The popup menu open in the process, waiting up to timeout_ms for it; null
// when none came or it could not be read. The items are read inside the
// owning process (menu_reader.h): Wine answers item queries only there.
std::optional<PopupMenu> ReadPopupMenu(DWORD process_id, DWORD timeout_ms);
// Chooses the item with the command id as the keyboard does (down to it,
// Enter), posted through the menu's own loop; false when the menu lacks it.
bool ChoosePopupMenuItem(const PopupMenu& menu, UINT command);
// Closes the menu without a choice (Escape).
bool ClosePopupMenu(const PopupMenu& menu);

// Changes the screen's (Wine's virtual desktop's) size; true when it took.
bool ResizeScreen(int width, int height);

// ---- screenshots

// The folder screenshots go to: OLVEX_SCREENSHOT_DIR, else the current folder.
std::wstring ScreenshotFolder();
// Saves what the screen shows of the window (with its frame), or the whole
// screen for a null window, as "<name>.png" in ScreenshotFolder(); the
// path written, or empty when nothing could be captured or written. A window
// is first made to paint itself whole (waited for a few seconds at most).
std::wstring SaveScreenshot(HWND window, const std::string& name);

}  // namespace olvex::gui
