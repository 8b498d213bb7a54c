// driver_fixture.exe: a dialog with one control of each kind the window
// driver handles, for the driver's own tests. It runs in a process of its
// own, as the programs the driver drives do, and ends after two minutes at
// the latest.
//   The Copy button puts the edit's text into the result line; the link
//   static says "link clicked" there; Ask shows a Yes/No message box and
//   writes "answer yes" or "answer no"; the tree has check boxes; a click on
//   a list column sorts the rows by it; WM_FIXTURE_SLOW sleeps wParam ms and
//   answers lParam * 2.
#include <windows.h>

#include <commctrl.h>

#include <cwchar>
#include <string>

#include "driver_fixture_ids.h"

namespace {

constexpr UINT_PTR kLifetimeTimer = 1;
constexpr UINT kLifetimeMs = 120000;

HTREEITEM AddTreeItem(HWND tree, HTREEITEM parent, const wchar_t* text) {
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_STATE;
    insert.item.pszText = const_cast<wchar_t*>(text);
    // The state image is set explicitly: Wine gives inserted items none.
    insert.item.state = INDEXTOSTATEIMAGEMASK(1);
    insert.item.stateMask = TVIS_STATEIMAGEMASK;
    return reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

void FillTree(HWND tree) {
    const HTREEITEM fruit = AddTreeItem(tree, TVI_ROOT, L"Fruit");
    AddTreeItem(tree, fruit, L"Apple");
    AddTreeItem(tree, fruit, L"Pear");
    const HTREEITEM vegetables = AddTreeItem(tree, TVI_ROOT, L"Vegetables");
    AddTreeItem(tree, vegetables, L"Leek");
    SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(fruit));
    SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(vegetables));
}

void FillList(HWND list) {
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    const wchar_t* columns[] = {L"Name", L"Size"};
    for (int i = 0; i < 2; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = const_cast<wchar_t*>(columns[i]);
        column.cx = 110 - 40 * i;
        column.iSubItem = i;
        SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    const wchar_t* rows[][2] = {{L"beta", L"2"}, {L"alpha", L"10"}, {L"gamma", L"1"}};
    for (int row = 0; row < 3; ++row) {
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = row;
        item.pszText = const_cast<wchar_t*>(rows[row][0]);
        item.lParam = row;
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        item.mask = LVIF_TEXT;
        item.iSubItem = 1;
        item.pszText = const_cast<wchar_t*>(rows[row][1]);
        SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    }
}

struct SortBy {
    HWND list;
    int column;
};

std::wstring CellOf(HWND list, int row, int column) {
    wchar_t text[64] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 64;
    SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

int CALLBACK CompareRows(LPARAM first, LPARAM second, LPARAM param) {
    const auto& sort = *reinterpret_cast<const SortBy*>(param);
    const std::wstring a = CellOf(sort.list, static_cast<int>(first), sort.column);
    const std::wstring b = CellOf(sort.list, static_cast<int>(second), sort.column);
    if (sort.column == 1)
        return _wtoi(a.c_str()) - _wtoi(b.c_str());
    return a.compare(b);
}

void SetResult(HWND dialog, const std::wstring& text) {
    SetDlgItemTextW(dialog, IDC_RESULT, text.c_str());
}

INT_PTR CALLBACK DialogProcedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_INITDIALOG:
            FillTree(GetDlgItem(dialog, IDC_TREE));
            FillList(GetDlgItem(dialog, IDC_LIST));
            SetTimer(dialog, kLifetimeTimer, kLifetimeMs, nullptr);
            return TRUE;
        case WM_TIMER:
            EndDialog(dialog, 3);
            return TRUE;
        case WM_FIXTURE_SLOW:
            Sleep(static_cast<DWORD>(wparam));
            SetWindowLongPtrW(dialog, DWLP_MSGRESULT, lparam * 2);
            return TRUE;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lparam);
            if (header->idFrom == IDC_LIST && header->code == LVN_COLUMNCLICK) {
                const auto* click = reinterpret_cast<const NMLISTVIEW*>(lparam);
                SortBy sort{header->hwndFrom, click->iSubItem};
                SendMessageW(header->hwndFrom, LVM_SORTITEMSEX, reinterpret_cast<WPARAM>(&sort),
                             reinterpret_cast<LPARAM>(CompareRows));
                SetResult(dialog, L"sorted by " + std::to_wstring(click->iSubItem));
            }
            return FALSE;
        }
        case WM_COMMAND:
            switch (LOWORD(wparam)) {
                case IDC_COPY: {
                    wchar_t text[256] = {};
                    GetDlgItemTextW(dialog, IDC_EDIT, text, 256);
                    SetResult(dialog, text);
                    return TRUE;
                }
                case IDC_LINK:
                    if (HIWORD(wparam) == STN_CLICKED)
                        SetResult(dialog, L"link clicked");
                    return TRUE;
                case IDC_ASK: {
                    wchar_t question[128] = {};
                    LoadStringW(GetModuleHandleW(nullptr), IDS_QUESTION, question, 128);
                    const int answer = MessageBoxW(dialog, question, L"Fixture Question",
                                                   MB_YESNO | MB_ICONQUESTION);
                    SetResult(dialog, answer == IDYES ? L"answer yes" : L"answer no");
                    return TRUE;
                }
                case IDCANCEL:
                    EndDialog(dialog, 0);
                    return TRUE;
            }
            return FALSE;
    }
    return FALSE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    return static_cast<int>(
        DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_FIXTURE), nullptr, DialogProcedure, 0));
}
