// The folder browser: template 233 under the dialog host with a tree of the
// shell namespace from the desktop down. It shows folders only, leaves out
// the network and control-panel folders, shows a virtual folder only when it
// holds file-system folders, and fills each level when it is expanded.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "dlgframe/framework_exports.h"
#include "dlgframe/module_paths.h"
#include "dlgframe/resource_ids.h"

namespace olvex::dlgframe {
namespace {

constexpr int kTreeId = 2000;

struct BrowseBlock {
    const wchar_t* caption = nullptr;
    wchar_t* buffer = nullptr;
    int buffer_chars = 0;
};

// One per tree item: identifier lists come from the shell's allocator.
struct ItemData {
    IShellFolder* parent = nullptr;     // none for the desktop
    LPITEMIDLIST absolute = nullptr;    // owned
    LPITEMIDLIST relative = nullptr;    // owned, relative to the parent
};

struct Browser {
    BrowseBlock* block = nullptr;
    IMalloc* allocator = nullptr;
    IShellFolder* desktop = nullptr;
    LPITEMIDLIST network = nullptr;
    LPITEMIDLIST controls = nullptr;
    HWND tree = nullptr;
};

Browser* BrowserOf(HWND dialog) {
    return reinterpret_cast<Browser*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

std::size_t IdListSize(LPCITEMIDLIST list) {
    std::size_t size = 0;
    if (list == nullptr)
        return 0;
    const auto* bytes = reinterpret_cast<const BYTE*>(list);
    for (;;) {
        USHORT cb = 0;
        memcpy(&cb, bytes + size, sizeof(cb));
        if (cb == 0)
            break;
        size += cb;
    }
    return size;
}

// `first` followed by `second` (either may be empty), in one new list.
LPITEMIDLIST JoinIdLists(IMalloc* allocator, LPCITEMIDLIST first, LPCITEMIDLIST second) {
    const std::size_t a = IdListSize(first);
    const std::size_t b = IdListSize(second);
    auto* joined = static_cast<BYTE*>(allocator->Alloc(a + b + sizeof(USHORT)));
    if (joined == nullptr)
        return nullptr;
    if (a > 0)
        memcpy(joined, first, a);
    if (b > 0)
        memcpy(joined + a, second, b);
    memset(joined + a + b, 0, sizeof(USHORT));
    return reinterpret_cast<LPITEMIDLIST>(joined);
}

ItemData* DataOf(HWND tree, HTREEITEM item) {
    TVITEMW query{};
    query.mask = TVIF_PARAM;
    query.hItem = item;
    if (item == nullptr || !SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&query)))
        return nullptr;
    return reinterpret_cast<ItemData*>(query.lParam);
}

bool SameFolder(const Browser& browser, LPCITEMIDLIST a, LPCITEMIDLIST b) {
    if (a == nullptr || b == nullptr)
        return false;
    const HRESULT result = browser.desktop->CompareIDs(0, a, b);
    return SUCCEEDED(result) && static_cast<short>(HRESULT_CODE(result)) == 0;
}

IShellFolder* BindFolder(const Browser& browser, const ItemData& data) {
    IShellFolder* folder = nullptr;
    if (data.parent == nullptr) {
        browser.desktop->AddRef();
        return browser.desktop;
    }
    if (FAILED(data.parent->BindToObject(data.relative, nullptr, IID_IShellFolder,
                                         reinterpret_cast<void**>(&folder))))
        return nullptr;
    return folder;
}

// Whether a folder that is no file-system object holds one: the computer
// folder holds the drives; the recycle bin holds none.
bool HoldsFileSystemFolder(IShellFolder* parent, LPCITEMIDLIST child, HWND owner) {
    IShellFolder* folder = nullptr;
    if (FAILED(parent->BindToObject(child, nullptr, IID_IShellFolder,
                                    reinterpret_cast<void**>(&folder))))
        return false;
    bool found = false;
    IEnumIDList* items = nullptr;
    if (folder->EnumObjects(owner, SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN, &items) == S_OK &&
        items != nullptr) {
        LPITEMIDLIST item = nullptr;
        ULONG fetched = 0;
        while (!found && items->Next(1, &item, &fetched) == S_OK && fetched == 1) {
            SFGAOF attributes = SFGAO_FILESYSTEM;
            LPCITEMIDLIST one = item;
            if (SUCCEEDED(folder->GetAttributesOf(1, &one, &attributes)) &&
                (attributes & SFGAO_FILESYSTEM) != 0)
                found = true;
            CoTaskMemFree(item);
        }
        items->Release();
    }
    folder->Release();
    return found;
}

HTREEITEM InsertItem(HWND tree, HTREEITEM parent, std::unique_ptr<ItemData> data, bool children,
                     bool shared) {
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_CHILDREN | TVIF_PARAM;
    insert.item.pszText = LPSTR_TEXTCALLBACKW;
    insert.item.iImage = I_IMAGECALLBACK;
    insert.item.iSelectedImage = I_IMAGECALLBACK;
    insert.item.cChildren = children ? 1 : 0;
    if (shared) {
        insert.item.mask |= TVIF_STATE;
        insert.item.state = INDEXTOOVERLAYMASK(1);
        insert.item.stateMask = TVIS_OVERLAYMASK;
    }
    insert.item.lParam = reinterpret_cast<LPARAM>(data.get());
    const auto item = reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
    if (item != nullptr)
        data.release();  // the tree's item data now; freed on TVN_DELETEITEM
    else if (data->parent != nullptr)
        data->parent->Release();
    return item;
}

void FreeItemData(const Browser& browser, ItemData* raw) {
    const std::unique_ptr<ItemData> data(raw);
    if (data == nullptr)
        return;
    if (browser.allocator != nullptr) {
        browser.allocator->Free(data->absolute);
        browser.allocator->Free(data->relative);
    }
    if (data->parent != nullptr)
        data->parent->Release();
}

int CALLBACK CompareChildren(LPARAM a, LPARAM b, LPARAM folder_param) {
    auto* folder = reinterpret_cast<IShellFolder*>(folder_param);
    const auto* first = reinterpret_cast<const ItemData*>(a);
    const auto* second = reinterpret_cast<const ItemData*>(b);
    if (folder == nullptr || first == nullptr || second == nullptr)
        return 0;
    const HRESULT result = folder->CompareIDs(0, first->relative, second->relative);
    return FAILED(result) ? 0 : static_cast<short>(HRESULT_CODE(result));
}

void FillChildren(HWND dialog, Browser& browser, HTREEITEM item, ItemData& data) {
    IShellFolder* folder = BindFolder(browser, data);
    if (folder == nullptr)
        return;
    IEnumIDList* children = nullptr;
    if (folder->EnumObjects(dialog, SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN, &children) != S_OK ||
        children == nullptr) {
        folder->Release();
        return;
    }
    LPITEMIDLIST child = nullptr;
    ULONG fetched = 0;
    while (children->Next(1, &child, &fetched) == S_OK && fetched == 1) {
        SFGAOF attributes = SFGAO_FOLDER | SFGAO_HASSUBFOLDER | SFGAO_FILESYSTEM | SFGAO_SHARE |
                            SFGAO_LINK | SFGAO_FILESYSANCESTOR;
        LPCITEMIDLIST one = child;
        if (FAILED(folder->GetAttributesOf(1, &one, &attributes)))
            attributes = 0;
        auto entry = std::make_unique<ItemData>();
        entry->relative = JoinIdLists(browser.allocator, nullptr, child);
        entry->absolute = JoinIdLists(browser.allocator, data.absolute, child);
        CoTaskMemFree(child);
        if (entry->relative == nullptr || entry->absolute == nullptr ||
            SameFolder(browser, entry->absolute, browser.network) ||
            SameFolder(browser, entry->absolute, browser.controls) ||
            ((attributes & SFGAO_FILESYSTEM) == 0 &&
             !HoldsFileSystemFolder(folder, entry->relative, dialog))) {
            FreeItemData(browser, entry.release());
            continue;
        }
        folder->AddRef();
        entry->parent = folder;
        InsertItem(browser.tree, item, std::move(entry), (attributes & SFGAO_HASSUBFOLDER) != 0,
                   (attributes & SFGAO_SHARE) != 0);
    }
    children->Release();
    TVSORTCB sort{};
    sort.hParent = item;
    sort.lpfnCompare = CompareChildren;
    sort.lParam = reinterpret_cast<LPARAM>(folder);
    SendMessageW(browser.tree, TVM_SORTCHILDRENCB, 0, reinterpret_cast<LPARAM>(&sort));
    folder->Release();
}

void Expand(HWND dialog, Browser& browser, HTREEITEM item) {
    ItemData* data = DataOf(browser.tree, item);
    if (data == nullptr)
        return;
    if (SendMessageW(browser.tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item)))
        return;  // filled already
    HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    SendMessageW(browser.tree, WM_SETREDRAW, FALSE, 0);
    FillChildren(dialog, browser, item, *data);
    SendMessageW(browser.tree, WM_SETREDRAW, TRUE, 0);
    SetCursor(previous);
}

void FillRoot(HWND dialog, Browser& browser) {
    SendMessageW(browser.tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    LPITEMIDLIST desktop_list = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(dialog, CSIDL_DESKTOP, &desktop_list)))
        return;
    auto data = std::make_unique<ItemData>();
    data->absolute = JoinIdLists(browser.allocator, nullptr, desktop_list);
    data->relative = desktop_list;
    const HTREEITEM root = InsertItem(browser.tree, TVI_ROOT, std::move(data), true, false);
    if (root != nullptr)
        SendMessageW(browser.tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(root));
    SendMessageW(browser.tree, TVM_SETSCROLLTIME, 100, 0);
}

void LayOut(HWND dialog, const Browser& browser) {
    RECT client{};
    RECT window{};
    RECT ok{};
    GetClientRect(dialog, &client);
    GetWindowRect(dialog, &window);
    HWND ok_button = GetDlgItem(dialog, IDC_FRAME_FOLDER_OK);
    if (ok_button == nullptr || browser.tree == nullptr)
        return;
    GetWindowRect(ok_button, &ok);
    SetWindowPos(browser.tree, nullptr, 10, 42, client.right - 20, ok.top - window.top - 82,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

// The item's path when it may be chosen: a file-system folder other than the
// desktop root whose path fits the caller's buffer.
std::optional<std::wstring> ChoosablePath(const Browser& browser, HTREEITEM item) {
    const ItemData* data = DataOf(browser.tree, item);
    if (data == nullptr)
        return std::nullopt;
    const bool root = data->parent == nullptr;
    SFGAOF attributes = SFGAO_FILESYSTEM;
    bool file_system = false;
    if (!root) {
        LPCITEMIDLIST one = data->relative;
        file_system = SUCCEEDED(data->parent->GetAttributesOf(1, &one, &attributes)) &&
                      (attributes & SFGAO_FILESYSTEM) != 0;
    }
    std::array<wchar_t, MAX_PATH> path{};
    std::optional<std::size_t> length;
    if (file_system && !root && SHGetPathFromIDListW(data->absolute, path.data()))
        length = wcsnlen(path.data(), path.size());
    if (!CanChooseFolder(file_system, root, length, browser.block->buffer_chars))
        return std::nullopt;
    return std::wstring(path.data(), *length);
}

HTREEITEM Selected(const Browser& browser) {
    return reinterpret_cast<HTREEITEM>(
        SendMessageW(browser.tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
}

void FillDisplayInfo(NMTVDISPINFOW& info) {
    const auto* data = reinterpret_cast<const ItemData*>(info.item.lParam);
    if (data == nullptr)
        return;
    SHFILEINFOW file{};
    const auto list = reinterpret_cast<LPCWSTR>(data->absolute);
    if ((info.item.mask & TVIF_TEXT) != 0 && info.item.pszText != nullptr &&
        info.item.cchTextMax > 0) {
        SHGetFileInfoW(list, 0, &file, sizeof(file), SHGFI_PIDL | SHGFI_DISPLAYNAME);
        lstrcpynW(info.item.pszText, file.szDisplayName, info.item.cchTextMax);
    }
    if ((info.item.mask & TVIF_IMAGE) != 0) {
        SHGetFileInfoW(list, 0, &file, sizeof(file),
                       SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_LINKOVERLAY);
        info.item.iImage = file.iIcon;
    }
    if ((info.item.mask & TVIF_SELECTEDIMAGE) != 0) {
        SHGetFileInfoW(list, 0, &file, sizeof(file),
                       SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_OPENICON);
        info.item.iSelectedImage = file.iIcon;
    }
}

INT_PTR Notify(HWND dialog, Browser& browser, NMHDR& header) {
    if (header.hwndFrom != browser.tree)
        return FALSE;
    switch (header.code) {
        case TVN_ITEMEXPANDINGW: {
            auto& view = reinterpret_cast<NMTREEVIEWW&>(header);
            if ((view.action & TVE_COLLAPSE) != 0) {
                SendMessageW(browser.tree, TVM_EXPAND, TVE_COLLAPSE | TVE_COLLAPSERESET,
                             reinterpret_cast<LPARAM>(view.itemNew.hItem));
            } else if ((view.action & TVE_EXPAND) != 0) {
                Expand(dialog, browser, view.itemNew.hItem);
            }
            return FALSE;
        }
        case TVN_GETDISPINFOW:
            FillDisplayInfo(reinterpret_cast<NMTVDISPINFOW&>(header));
            return FALSE;
        case TVN_SELCHANGEDW: {
            auto& view = reinterpret_cast<NMTREEVIEWW&>(header);
            EnableWindow(GetDlgItem(dialog, IDC_FRAME_FOLDER_OK),
                         ChoosablePath(browser, view.itemNew.hItem).has_value());
            return FALSE;
        }
        case TVN_DELETEITEMW: {
            auto& view = reinterpret_cast<NMTREEVIEWW&>(header);
            FreeItemData(browser, reinterpret_cast<ItemData*>(view.itemOld.lParam));
            return FALSE;
        }
        default:
            return FALSE;
    }
}

void Start(HWND dialog, BrowseBlock* block) {
    auto browser = std::make_unique<Browser>();
    browser->block = block;
    SetWindowTextW(dialog, block->caption != nullptr ? block->caption : L"");
    if (FAILED(SHGetMalloc(&browser->allocator)) || FAILED(SHGetDesktopFolder(&browser->desktop))) {
        if (browser->allocator != nullptr)
            browser->allocator->Release();
        return;
    }
    SHGetSpecialFolderLocation(dialog, CSIDL_NETWORK, &browser->network);
    SHGetSpecialFolderLocation(dialog, CSIDL_CONTROLS, &browser->controls);
    SHFILEINFOW file{};
    const auto images = reinterpret_cast<HIMAGELIST>(SHGetFileInfoW(
        L"C:\\", 0, &file, sizeof(file), SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
    browser->tree = CreateWindowExW(
        WS_EX_CLIENTEDGE, WC_TREEVIEWW, L"",
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT, 0, 0,
        10, 10, dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kTreeId)),
        reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(dialog, GWLP_HINSTANCE)), nullptr);
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(browser.get()));
    Browser& b = *browser.release();
    if (b.tree == nullptr)
        return;
    SendMessageW(b.tree, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(images));
    SendMessageW(b.tree, TVM_SETUNICODEFORMAT, TRUE, 0);
    EnableWindow(GetDlgItem(dialog, IDC_FRAME_FOLDER_OK), FALSE);
    FillRoot(dialog, b);
    LayOut(dialog, b);
    SetFocus(b.tree);
}

void Finish(HWND dialog) {
    const std::unique_ptr<Browser> browser(BrowserOf(dialog));
    if (browser == nullptr)
        return;
    // Items are freed while the allocator is still held.
    if (browser->tree != nullptr)
        SendMessageW(browser->tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    SetWindowLongPtrW(dialog, DWLP_USER, 0);
    if (browser->allocator != nullptr) {
        browser->allocator->Free(browser->network);
        browser->allocator->Free(browser->controls);
        browser->allocator->Release();
    }
    if (browser->desktop != nullptr)
        browser->desktop->Release();
}

INT_PTR CALLBACK BrowserProcedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    Browser* browser = BrowserOf(dialog);
    switch (message) {
        case WM_INITDIALOG:
            Start(dialog, reinterpret_cast<BrowseBlock*>(lparam));
            return FALSE;  // the focus is on the tree
        case WM_SIZE:
            if (browser != nullptr)
                LayOut(dialog, *browser);
            return FALSE;
        case WM_NOTIFY:
            if (browser == nullptr || browser->tree == nullptr)
                return FALSE;
            return Notify(dialog, *browser, *reinterpret_cast<NMHDR*>(lparam));
        case WM_COMMAND:
            switch (LOWORD(wparam)) {
                case IDC_FRAME_FOLDER_OK: {
                    if (browser == nullptr || browser->tree == nullptr)
                        return TRUE;
                    const HTREEITEM item = Selected(*browser);
                    if (item == nullptr)
                        return TRUE;
                    // OK ends the dialog only once a path has been written.
                    const auto path = ChoosablePath(*browser, item);
                    if (!path)
                        return TRUE;
                    lstrcpynW(browser->block->buffer, path->c_str(),
                              browser->block->buffer_chars);
                    EndDialog(dialog, 0);
                    return TRUE;
                }
                case IDCANCEL:
                case IDC_FRAME_FOLDER_CLOSE:
                    EndDialog(dialog, 1);
                    return TRUE;
                default:
                    return FALSE;
            }
        case WM_DESTROY:
            Finish(dialog);
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace
}  // namespace olvex::dlgframe

using namespace olvex::dlgframe;

extern "C" {

int __cdecl FrameworkBrowseForFolder(HWND parent, WCHAR* buffer, int bufferChars,
                                     const WCHAR* caption) {
    if (buffer == nullptr || bufferChars <= 0)
        return -1;
    BrowseBlock block{caption, buffer, bufferChars};
    return static_cast<int>(FrameworkDialogBox(nullptr, IDD_FRAME_FOLDER_BROWSER, parent,
                                               BrowserProcedure,
                                               reinterpret_cast<LPARAM>(&block),
                                               FRAMEWORK_HOST_SMALL_BANNER | 0x8));
}

}  // extern "C"
