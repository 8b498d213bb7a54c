#include "client/main/scan_page.h"

#include <commctrl.h>

#include <string>
#include <vector>

#include "client/common/client_environment.h"
#include "client/common/named_mutex.h"
#include "client/common/ui/ansi_text.h"
#include "client/common/ui/controls.h"
#include "client/common/ui/text_file.h"
#include "client/main/app_helpers.h"
#include "client/main/app_ids.h"
#include "client/main/gorsewatch5_app.h"
#include "client/main/message_rules.h"
#include "client/main/scan_dialog.h"
#include "client/main/page_look_ids.h"
#include "client/main/scan_page_ids.h"
#include "client/main/schedule_dialog.h"
#include "client/main/scan_rules.h"
#include "client/main/start_up_rules.h"

namespace olvex {
namespace {

constexpr UINT_PTR kRequestTimer = 1;
constexpr UINT kRequestTimerMs = 250;
constexpr UINT_PTR kHistoryTimer = 3;
constexpr UINT kHistoryTimerMs = 5000;

// Images of bitmap 140.
constexpr int kFolderImage = 0;
constexpr int kCdRomImage = 1;
constexpr int kFixedDiskImage = 2;
constexpr int kOpenFolderImage = 3;
constexpr int kRemovableImage = 4;
constexpr int kNetworkImage = 5;

// The subfolders of a folder (links left out: a walk must not leave its
// tree); nullopt when it cannot be listed at all.
std::optional<std::vector<std::string>> ListSubfolders(std::string path, bool first_only) {
    if (path.empty() || path.back() != '\\')
        path += '\\';
    WIN32_FIND_DATAA found{};
    const HANDLE search = FindFirstFileA((path + "*.*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::vector<std::string> folders;
    do {
        const std::string name = found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
            (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || name == "." ||
            name == "..")
            continue;
        folders.push_back(name);
        if (first_only)
            break;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return folders;
}

bool HasSubfolder(const std::string& path) {
    const auto folders = ListSubfolders(path, true);
    return folders && !folders->empty();
}

HTREEITEM InsertItem(HWND tree, HTREEITEM parent, const std::wstring& text, LPARAM value,
                     int image, int selected_image, std::optional<bool> checked) {
    std::wstring item_text = text;
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_SORT;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    insert.item.pszText = item_text.data();
    insert.item.lParam = value;
    insert.item.iImage = image;
    insert.item.iSelectedImage = selected_image;
    if (checked) {
        // An explicit state image: some systems show no box otherwise.
        insert.item.mask |= TVIF_STATE;
        insert.item.stateMask = TVIS_STATEIMAGEMASK;
        insert.item.state = INDEXTOSTATEIMAGEMASK(*checked ? 2 : 1);
    }
    return reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

void InsertPlaceholder(HWND tree, HTREEITEM parent, std::optional<bool> checked) {
    InsertItem(tree, parent, L"", 0, kFolderImage, kFolderImage, checked);
}

PageLook ScanLook() {
    PageLook look;
    look.own_navigation = IDC_SCAN_NAV_SCAN;
    look.title_font = {IDC_SCAN_NAV_HOME, IDC_SCAN_NAV_SCAN, IDC_SCAN_NAV_CONFIG};
    look.heading_font = {IDC_SCAN_OPTIONS_HEADING, IDC_SCAN_HISTORY_HEADING};
    look.link_font = {IDC_SCAN_HELP, IDC_SCAN_ABOUT, IDC_SCAN_STANDARD_DETAILS,
                      IDC_SCAN_CUSTOM_DETAILS};
    look.heading_colour = {IDC_SCAN_NAV_HOME, IDC_SCAN_NAV_CONFIG, IDC_SCAN_OPTIONS_HEADING,
                           IDC_SCAN_HISTORY_HEADING};
    look.link_colour = {IDC_SCAN_STANDARD_DETAILS, IDC_SCAN_CUSTOM_DETAILS, IDC_SCAN_HELP,
                        IDC_SCAN_ABOUT};
    look.plain = {IDC_SCAN_STANDARD,      IDC_SCAN_CUSTOM,    IDC_SCAN_STANDARD_TEXT,
                  IDC_SCAN_CUSTOM_TEXT,   IDC_SCAN_LAST_SCAN, IDC_SCAN_PESTS_DETECTED,
                  IDC_SCAN_ITEMS_DETECTED};
    look.clickable = {
        IDC_SCAN_STANDARD_DETAILS, IDC_SCAN_CUSTOM_DETAILS, IDC_SCAN_NOW,  IDC_SCAN_NAV_HOME,
        IDC_SCAN_NAV_CONFIG,       IDC_SCAN_SCHEDULE,       IDC_SCAN_HELP, IDC_SCAN_ABOUT};
    for (int id = IDC_SCAN_OPTIONS_HEADING; id <= IDC_SCAN_SCHEDULE; ++id)
        look.content.push_back(id);
    look.content.push_back(IDC_SCAN_HELP);
    look.content.push_back(IDC_SCAN_ABOUT);
    return look;
}

}  // namespace

CScanView::CScanView() : CPage(IDD_SCAN_PAGE, ScanLook()) {
    OnClicked(IDC_SCAN_NAV_HOME, [] {
        if (auto* app = CGorsewatch5App::Current())
            app->SwitchView(kHomePage);
    });
    OnClicked(IDC_SCAN_NAV_CONFIG, [] {
        if (auto* app = CGorsewatch5App::Current())
            app->SwitchView(kConfigurationPage);
    });
    OnClicked(IDC_SCAN_HELP, [this] { OpenHelp(); });
    OnClicked(IDC_SCAN_STANDARD, [this] { OnStandardScan(); });
    OnClicked(IDC_SCAN_CUSTOM, [this] { OnCustomScan(); });
    OnClicked(IDC_SCAN_NOW, [this] { RunScanNow(IsItemChecked(IDC_SCAN_CUSTOM)); });
    for (const UINT code : {TVN_ITEMEXPANDINGW, TVN_ITEMEXPANDINGA})
        OnNotify(IDC_SCAN_DRIVE_TREE, code, [this](NMHDR& header) { return OnItemExpanding(header); });
    OnNotify(IDC_SCAN_DRIVE_TREE, NM_CLICK, [this](NMHDR& header) { return OnTreeClick(header); });
    OnNotify(IDC_SCAN_DRIVE_TREE, TVN_KEYDOWN,
             [this](NMHDR& header) { return OnTreeKeyDown(header); });
    OnClicked(IDC_SCAN_STANDARD_DETAILS, [] {
        if (auto* app = CGorsewatch5App::Current())
            app->ShowMessage(IDS_STANDARD_SCAN_DETAILS, kSoundWarning);
    });
    OnClicked(IDC_SCAN_CUSTOM_DETAILS, [] {
        if (auto* app = CGorsewatch5App::Current())
            app->ShowMessage(IDS_CUSTOM_SCAN_DETAILS, kSoundWarning);
    });
    OnClicked(IDC_SCAN_ABOUT, [] {
        if (auto* app = CGorsewatch5App::Current())
            app->OnAppAbout();
    });
    OnClicked(IDC_SCAN_SCHEDULE, [] {
        const auto* app = CGorsewatch5App::Current();
        if (app != nullptr && app->m_bTaskSchedulerAvailable)
            CScheduleDlg().RunModal();
    });
}

bool CScanView::OnInitDialog() {
    CPage::OnInitDialog();
    CheckItem(IDC_SCAN_STANDARD, true);
    drive_images_ = ui::ImageList::FromBitmap(instance(), IDB_DRIVE_IMAGES, 20, RGB(255, 0, 255));
    if (drive_images_)
        TreeView_SetImageList(Item(IDC_SCAN_DRIVE_TREE), drive_images_.handle(), TVSIL_NORMAL);
    FillDriveTrees();
    TreeView_SetBkColor(Item(IDC_SCAN_DRIVE_TREE), ColorFromResource(IDS_DRIVE_TREE_COLOUR));
    TreeView_SetBkColor(Item(IDC_SCAN_DRIVE_TREE_GREY), RGB(203, 201, 191));
    // Standard Scan is chosen: the drives show greyed.
    ShowItem(IDC_SCAN_DRIVE_TREE, false);
    ShowItem(IDC_SCAN_DRIVE_TREE_GREY, true);
    const CGorsewatch5App* app = CGorsewatch5App::Current();
    EnableItem(IDC_SCAN_SCHEDULE, app != nullptr && app->m_bTaskSchedulerAvailable);
    ShowScanHistory();
    StartTimer(kRequestTimer, kRequestTimerMs);
    StartTimer(kHistoryTimer, kHistoryTimerMs);
    return true;
}

void CScanView::FillDriveTrees() {
    const HWND tree = Item(IDC_SCAN_DRIVE_TREE);
    const HWND grey = Item(IDC_SCAN_DRIVE_TREE_GREY);
    TreeView_DeleteAllItems(tree);
    TreeView_DeleteAllItems(grey);
    const DWORD drives = GetLogicalDrives();
    for (int letter = 0; letter < 26; ++letter) {
        if ((drives & (1u << letter)) == 0)
            continue;
        std::string root = "?:\\";
        root[0] = static_cast<char>('A' + letter);
        DriveKind kind = DriveKind::kFixedOrFolder;
        int image = kFixedDiskImage;
        switch (GetDriveTypeA(root.c_str())) {
            case DRIVE_UNKNOWN:
            case DRIVE_NO_ROOT_DIR:
                continue;
            case DRIVE_CDROM:
                kind = DriveKind::kCdRom;
                image = kCdRomImage;
                break;
            case DRIVE_REMOVABLE:
                kind = DriveKind::kRemovable;
                image = kRemovableImage;
                break;
            case DRIVE_REMOTE:
                kind = DriveKind::kNetwork;
                image = kNetworkImage;
                break;
            default:
                break;
        }
        const std::wstring text = ui::FromAnsi(root);
        const HTREEITEM item =
            InsertItem(tree, TVI_ROOT, text, static_cast<LPARAM>(kind), image, image, false);
        const HTREEITEM shown = InsertItem(grey, TVI_ROOT, text, 0, image, image, std::nullopt);
        // A disc is not read until the drive is opened.
        if (kind == DriveKind::kCdRom || HasSubfolder(root)) {
            InsertPlaceholder(tree, item, false);
            InsertPlaceholder(grey, shown, std::nullopt);
        }
    }
}

std::string CScanView::FullPath(HTREEITEM item) const {
    const ui::TreeView tree(handle(), IDC_SCAN_DRIVE_TREE);
    std::vector<std::string> texts;
    for (HTREEITEM at = item; at != nullptr; at = TreeView_GetParent(tree.handle(), at))
        texts.insert(texts.begin(), ui::ToAnsi(tree.ItemText(at)));
    return FullTreePath(texts);
}

HTREEITEM CScanView::InsertFolder(HTREEITEM parent, const std::string& name,
                                  const std::string& path, bool checked) {
    const HWND tree = Item(IDC_SCAN_DRIVE_TREE);
    const HTREEITEM item = InsertItem(tree, parent, ui::FromAnsi(name), 0, kFolderImage,
                                      kOpenFolderImage, checked);
    std::string folder = path;
    if (folder.empty() || folder.back() != '\\')
        folder += '\\';
    if (item != nullptr && HasSubfolder(folder + name))
        InsertPlaceholder(tree, item, checked);
    return item;
}

bool CScanView::FillFolder(HTREEITEM item, const std::string& path) {
    const HWND tree = Item(IDC_SCAN_DRIVE_TREE);
    const ui::TreeView view(tree);
    const bool checked = view.IsChecked(item);
    const auto folders = ListSubfolders(path, false);
    if (!folders) {
        if (TreeView_GetParent(tree, item) == nullptr) {
            std::wstring text = ui::LoadText(IDS_NO_FILES_FOUND);
            TVINSERTSTRUCTW insert{};
            insert.hParent = item;
            insert.hInsertAfter = TVI_FIRST;
            insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_STATE;
            insert.item.pszText = text.data();
            insert.item.stateMask = TVIS_STATEIMAGEMASK;
            insert.item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
            SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert));
        }
        return false;
    }
    for (const std::string& name : *folders)
        InsertFolder(item, name, path, checked);
    return true;
}

bool CScanView::SyncFolder(HTREEITEM item, const std::string& path) {
    const ui::TreeView tree(handle(), IDC_SCAN_DRIVE_TREE);
    const auto folders = ListSubfolders(path, false);
    if (!folders)
        return false;
    const std::vector<HTREEITEM> children = tree.Children(item);
    std::vector<std::string> names;
    for (const HTREEITEM child : children)
        names.push_back(ui::ToAnsi(tree.ItemText(child)));
    const FolderSync sync = SyncFolderChildren(names, *folders);
    for (const std::size_t index : sync.removed)
        TreeView_DeleteItem(tree.handle(), children[index]);
    const bool checked = tree.IsChecked(item);
    for (const std::string& name : sync.added)
        InsertFolder(item, name, path, checked);
    return true;
}

void CScanView::SetSubtreeChecks(HTREEITEM item, bool checked) const {
    const ui::TreeView tree(handle(), IDC_SCAN_DRIVE_TREE);
    for (const HTREEITEM child : tree.Children(item)) {
        tree.SetChecked(child, checked);
        if (TreeView_GetChild(tree.handle(), child) != nullptr)
            SetSubtreeChecks(child, checked);
    }
}

LRESULT CScanView::OnItemExpanding(NMHDR& header) {
    const auto& notice = reinterpret_cast<const NMTREEVIEWW&>(header);
    if ((notice.action & TVE_EXPAND) == 0)
        return FALSE;
    const HTREEITEM item = notice.itemNew.hItem;
    const ui::TreeView tree(handle(), IDC_SCAN_DRIVE_TREE);
    const std::string path = FullPath(item);
    const bool checked = tree.IsChecked(item);
    const HTREEITEM first = TreeView_GetChild(tree.handle(), item);
    if (first != nullptr && tree.ItemText(first).empty()) {
        TreeView_DeleteItem(tree.handle(), first);
        if (!FillFolder(item, path))
            return TRUE;
        TreeView_SortChildren(tree.handle(), item, FALSE);
        SetSubtreeChecks(item, checked);
    }
    switch (static_cast<DriveKind>(tree.Data(item))) {
        case DriveKind::kFixedOrFolder:
            if (!SyncFolder(item, path))
                return TRUE;
            TreeView_SortChildren(tree.handle(), item, FALSE);
            break;
        case DriveKind::kCdRom:
        case DriveKind::kRemovable:
            // Discs and removable media change: read them every time.
            for (const HTREEITEM child : tree.Children(item))
                TreeView_DeleteItem(tree.handle(), child);
            if (!FillFolder(item, path))
                return TRUE;
            TreeView_SortChildren(tree.handle(), item, FALSE);
            SetSubtreeChecks(item, checked);
            break;
        case DriveKind::kNetwork:
            break;
    }
    return FALSE;
}

LRESULT CScanView::OnTreeClick(NMHDR&) {
    const ui::TreeView tree(handle(), IDC_SCAN_DRIVE_TREE);
    const DWORD position = GetMessagePos();
    const ui::TreeView::Hit hit =
        tree.HitTestScreen({static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))});
    if (hit.item == nullptr || (hit.flags & (TVHT_ONITEMSTATEICON | TVHT_ONITEMICON)) == 0)
        return FALSE;
    const bool checked = tree.IsChecked(hit.item);
    const HTREEITEM parent = TreeView_GetParent(tree.handle(), hit.item);
    if (CheckClickRefused(checked, parent != nullptr && tree.IsChecked(parent)))
        return TRUE;
    SetSubtreeChecks(hit.item, !checked);
    return FALSE;
}

LRESULT CScanView::OnTreeKeyDown(NMHDR& header) {
    const auto& key = reinterpret_cast<const NMTVKEYDOWN&>(header);
    if (key.wVKey != VK_SPACE)
        return FALSE;
    const ui::TreeView tree(handle(), IDC_SCAN_DRIVE_TREE);
    const HTREEITEM item = tree.Selected();
    if (item == nullptr)
        return FALSE;
    const HTREEITEM parent = TreeView_GetParent(tree.handle(), item);
    // Under a checked parent the item is cleared first, so the tree's own
    // toggle that follows ticks it again.
    if (tree.IsChecked(item) && parent != nullptr && tree.IsChecked(parent))
        tree.SetChecked(item, false);
    SetSubtreeChecks(item, !tree.IsChecked(item));
    return FALSE;
}

void CScanView::OnStandardScan() {
    CollectCustomFolders();
    const bool standard = IsItemChecked(IDC_SCAN_STANDARD);
    ShowItem(IDC_SCAN_DRIVE_TREE, !standard);
    ShowItem(IDC_SCAN_DRIVE_TREE_GREY, standard);
    if (standard)
        CheckItem(IDC_SCAN_CUSTOM, false);
}

void CScanView::OnCustomScan() {
    const bool custom = IsItemChecked(IDC_SCAN_CUSTOM);
    ShowItem(IDC_SCAN_DRIVE_TREE, custom);
    ShowItem(IDC_SCAN_DRIVE_TREE_GREY, !custom);
    if (custom)
        CheckItem(IDC_SCAN_STANDARD, false);
}

void CScanView::CollectCustomFolders() {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    if (app == nullptr)
        return;
    const ui::TreeView tree(handle(), IDC_SCAN_DRIVE_TREE);
    // The tree as far as the walk needs it: below a checked item nothing.
    const auto node = [&](const auto& self, HTREEITEM item) -> DriveTreeNode {
        DriveTreeNode read{FullPath(item), tree.IsChecked(item), {}};
        if (!read.checked) {
            for (const HTREEITEM child : tree.Children(item))
                read.children.push_back(self(self, child));
        }
        return read;
    };
    std::vector<DriveTreeNode> drives;
    for (const HTREEITEM root : tree.Roots())
        drives.push_back(node(node, root));
    app->custom_folders() = CollectCheckedFolders(drives);
    for (const std::string& path : app->custom_folders())
        OutputDebugStringA(path.c_str());
}

void CScanView::RunScanNow(bool custom) {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    // Without the engine's objects there is nothing to scan with: message
    // 127, no dialog.
    if (app == nullptr || !app->RequireEngineObjects())
        return;
    CScanDlg dialog;
    dialog.m_options = StandardScanChoice(custom);
    // No scan beside another program's scan or clean, nor beside another
    // Scan dialog.
    NamedMutex activity = ClaimNamedMutex(kPestActivityMutexName);
    if (activity.claim != MutexClaim::kClaimed) {
        app->ShowMessage(IDS_OTHER_PEST_ACTIVITY, kSoundDone);
        return;
    }
    NamedMutex scanner_window = ClaimNamedMutex(kScannerWindowMutexName);
    if (scanner_window.claim != MutexClaim::kClaimed) {
        app->ShowMessage(IDS_OTHER_PEST_ACTIVITY, kSoundDone);
        return;
    }
    dialog.TakeMutexes(activity.handle.release(), scanner_window.handle.release());
    CollectCustomFolders();
    dialog.RunModal();
    if (app->exit_requested()) {
        dialog.CloseMutexes();
        app->EndAfterClosedScan();
    }
    ShowScanHistory();
    dialog.CloseMutexes();
}

void CScanView::ShowScanHistory() {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    if (app == nullptr || app->m_bLimitedRights)
        return;
    const std::optional<std::string> folder = app->ProductDataFolderOrWarn();
    if (!folder)
        return;
    const std::string path = *folder + AnsiResourceText(IDS_SCAN_HISTORY_FILE_NAME);
    // One read: a file another program holds keeps the old texts until the
    // next refresh, with no box and no wait on this thread.
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    CloseHandle(file);
    const ui::TextFileLines read = ui::ReadTextFileLines(path);
    if (read.error)
        return;
    const std::vector<std::string>& lines = read.lines;
    const int ids[] = {IDC_SCAN_LAST_SCAN, IDC_SCAN_PESTS_DETECTED, IDC_SCAN_ITEMS_DETECTED};
    const UINT captions[] = {IDS_LAST_SCAN_CAPTION, IDS_PESTS_DETECTED_CAPTION,
                             IDS_ITEMS_DETECTED_CAPTION};
    std::wstring texts[3];
    for (int i = 0; i < 3; ++i) {
        texts[i] = ItemText(ids[i]);
        if (static_cast<std::size_t>(i) < lines.size())
            texts[i] = ui::LoadText(captions[i]) + ui::FromAnsi(lines[static_cast<std::size_t>(i)]);
    }
    // Blank the transparent labels and repaint the background under them.
    for (const int id : ids)
        SetItemText(id, std::wstring(ItemText(id).size(), L' '));
    RECT first{};
    RECT last{};
    GetWindowRect(Item(IDC_SCAN_LAST_SCAN), &first);
    GetWindowRect(Item(IDC_SCAN_ITEMS_DETECTED), &last);
    RECT area{first.left, first.top, last.right, last.bottom};
    MapWindowPoints(nullptr, handle(), reinterpret_cast<POINT*>(&area), 2);
    InvalidateRect(handle(), &area, TRUE);
    for (int i = 0; i < 3; ++i)
        SetItemText(ids[i], texts[i]);
}

void CScanView::OnTimer(UINT_PTR timer_id) {
    if (timer_id == kHistoryTimer)
        ShowScanHistory();
    CGorsewatch5App* app = CGorsewatch5App::Current();
    // A start-up message still open runs its own message loop, in which this
    // timer goes on: the scan waits until the start-up has ended.
    if (app != nullptr && app->started() && app->requests().scan == 1) {
        app->requests().scan = 0;
        app->SwitchView(kScanPage);
        RunScanNow(IsItemChecked(IDC_SCAN_CUSTOM));
    }
}

}  // namespace olvex
