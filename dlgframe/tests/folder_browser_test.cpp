// The folder browser, driven through its tree's own messages (a mouse
// button sent to Wine's tree view stays in its drag tracking).
#include <gtest/gtest.h>

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "dlgframe/resource_ids.h"
#include "dlgframe/tests/frametest_support.h"

namespace olvex::frametest {
namespace {

constexpr wchar_t kCaption[] = L"Choose the install folder";
constexpr int kTreeId = 2000;

std::wstring ItemText(HWND tree, HTREEITEM item) {
    wchar_t text[MAX_PATH]{};
    TVITEMW query{};
    query.mask = TVIF_TEXT;
    query.hItem = item;
    query.pszText = text;
    query.cchTextMax = MAX_PATH;
    Send(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&query));
    return text;
}

HTREEITEM Next(HWND tree, UINT relation, HTREEITEM item) {
    return reinterpret_cast<HTREEITEM>(
        Send(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
}

std::vector<std::pair<HTREEITEM, std::wstring>> Children(HWND tree, HTREEITEM parent) {
    std::vector<std::pair<HTREEITEM, std::wstring>> children;
    for (HTREEITEM child = Next(tree, TVGN_CHILD, parent); child != nullptr;
         child = Next(tree, TVGN_NEXT, child))
        children.emplace_back(child, ItemText(tree, child));
    return children;
}

HTREEITEM ChildNamed(HWND tree, HTREEITEM parent, const std::wstring& name) {
    for (const auto& [item, text] : Children(tree, parent)) {
        if (text == name)
            return item;
    }
    return nullptr;
}

HTREEITEM ChildContaining(HWND tree, HTREEITEM parent, const std::wstring& part) {
    for (const auto& [item, text] : Children(tree, parent)) {
        if (text.find(part) != std::wstring::npos)
            return item;
    }
    return nullptr;
}

// The display name the shell gives a special folder.
std::wstring SpecialName(int csidl) {
    LPITEMIDLIST list = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &list)))
        return {};
    SHFILEINFOW info{};
    SHGetFileInfoW(reinterpret_cast<LPCWSTR>(list), 0, &info, sizeof(info),
                   SHGFI_PIDL | SHGFI_DISPLAYNAME);
    CoTaskMemFree(list);
    return info.szDisplayName;
}

void Select(HWND tree, HTREEITEM item) {
    Send(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
}

void Expand(HWND tree, HTREEITEM item, UINT how = TVE_EXPAND) {
    Send(tree, TVM_EXPAND, how, reinterpret_cast<LPARAM>(item));
}

struct BrowserParts {
    HWND dialog = nullptr;
    HWND tree = nullptr;
    HWND ok = nullptr;
    HTREEITEM root = nullptr;
    HTREEITEM computer = nullptr;
    HTREEITEM drive_c = nullptr;
};

// Finds the browser, the computer folder under the desktop and drive C:.
bool Open(BrowserParts& parts) {
    parts.dialog = WaitForWindow(kCaption);
    if (parts.dialog == nullptr)
        return false;
    parts.tree = GetDlgItem(parts.dialog, kTreeId);
    parts.ok = GetDlgItem(parts.dialog, IDC_FRAME_FOLDER_OK);
    parts.root = Next(parts.tree, TVGN_ROOT, nullptr);
    parts.computer = ChildNamed(parts.tree, parts.root, SpecialName(CSIDL_DRIVES));
    if (parts.computer == nullptr)
        return false;
    Expand(parts.tree, parts.computer);
    parts.drive_c = ChildContaining(parts.tree, parts.computer, L"C:");
    return parts.drive_c != nullptr;
}

TEST(FrameworkFolderBrowserTest, ListsTheComputerButNotTheNetworkOrControlPanel) {
    Session session(nullptr, nullptr);
    wchar_t buffer[MAX_PATH] = L"unchanged";
    const INT_PTR result = Drive(
        [&] { return Api().browse_for_folder(nullptr, buffer, MAX_PATH, kCaption); },
        [&] {
            BrowserParts parts;
            ASSERT_TRUE(Open(parts)) << "no browser, computer folder or drive C:";
            EXPECT_EQ(ItemText(parts.tree, parts.root), SpecialName(CSIDL_DESKTOP));
            std::wstring first_level;
            for (const auto& child : Children(parts.tree, parts.root))
                first_level += child.second + L"|";
            const std::wstring network = SpecialName(CSIDL_NETWORK);
            const std::wstring controls = SpecialName(CSIDL_CONTROLS);
            ASSERT_FALSE(network.empty());
            ASSERT_FALSE(controls.empty());
            EXPECT_EQ(ChildNamed(parts.tree, parts.root, network), nullptr) << first_level;
            EXPECT_EQ(ChildNamed(parts.tree, parts.root, controls), nullptr) << first_level;

            // OK only for a file-system folder: not the root, not the computer.
            EXPECT_FALSE(IsWindowEnabled(parts.ok));
            Select(parts.tree, parts.computer);
            EXPECT_FALSE(IsWindowEnabled(parts.ok));
            Select(parts.tree, parts.root);
            EXPECT_FALSE(IsWindowEnabled(parts.ok));
            Select(parts.tree, parts.drive_c);
            EXPECT_TRUE(IsWindowEnabled(parts.ok));
            Screenshot(parts.dialog, "folder-browser");

            // Collapsing and expanding by keys, as a user does, enumerates
            // the folder again (the tree notifies no expansion it was told
            // to make after the first).
            Select(parts.tree, parts.computer);
            Send(parts.tree, WM_KEYDOWN, VK_LEFT, 0);
            EXPECT_TRUE(Children(parts.tree, parts.computer).empty());
            Send(parts.tree, WM_KEYDOWN, VK_RIGHT, 0);
            parts.drive_c = ChildContaining(parts.tree, parts.computer, L"C:");
            ASSERT_NE(parts.drive_c, nullptr);
            Select(parts.tree, parts.drive_c);
            Send(parts.ok, BM_CLICK);
        });
    EXPECT_EQ(result, 0);
    EXPECT_STREQ(buffer, L"C:\\");
}

TEST(FrameworkFolderBrowserTest, APathThatWouldNotFitKeepsOkDisabled) {
    Session session(nullptr, nullptr);
    wchar_t buffer[2] = {L'Q', L'\0'};
    const INT_PTR result = Drive(
        [&] { return Api().browse_for_folder(nullptr, buffer, 2, kCaption); },
        [&] {
            BrowserParts parts;
            ASSERT_TRUE(Open(parts));
            Select(parts.tree, parts.drive_c);
            EXPECT_FALSE(IsWindowEnabled(parts.ok));
            // OK sent anyway does not end the dialog.
            Send(parts.dialog, WM_COMMAND, IDC_FRAME_FOLDER_OK, 0);
            EXPECT_FALSE(WaitGone(parts.dialog, 300));
            Send(GetDlgItem(parts.dialog, IDCANCEL), BM_CLICK);
        });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(buffer[0], L'Q');
    EXPECT_EQ(buffer[1], L'\0');
}

TEST(FrameworkFolderBrowserTest, CancelAndTheSecondCancellingControlLeaveTheBuffer) {
    Session session(nullptr, nullptr);
    for (const int control : {IDCANCEL, IDC_FRAME_FOLDER_CLOSE}) {
        wchar_t buffer[MAX_PATH] = L"unchanged";
        const INT_PTR result = Drive(
            [&] { return Api().browse_for_folder(nullptr, buffer, MAX_PATH, kCaption); },
            [&] {
                BrowserParts parts;
                ASSERT_TRUE(Open(parts));
                Select(parts.tree, parts.drive_c);
                Send(GetDlgItem(parts.dialog, control), BM_CLICK);
            });
        EXPECT_EQ(result, 1) << control;
        EXPECT_STREQ(buffer, L"unchanged") << control;
    }
}

TEST(FrameworkFolderBrowserTest, MissingTemplateOrBufferGivesMinusOne) {
    {
        // Neither DLL holds template 233.
        Session session(L"tprodover.dll", L"tfolder.dll");
        wchar_t buffer[MAX_PATH] = L"unchanged";
        EXPECT_EQ(Api().browse_for_folder(nullptr, buffer, MAX_PATH, kCaption), -1);
        EXPECT_STREQ(buffer, L"unchanged");
    }
    Session session(nullptr, nullptr);
    EXPECT_EQ(Api().browse_for_folder(nullptr, nullptr, MAX_PATH, kCaption), -1);
    wchar_t buffer[4] = L"abc";
    EXPECT_EQ(Api().browse_for_folder(nullptr, buffer, 0, kCaption), -1);
}

}  // namespace
}  // namespace olvex::frametest
