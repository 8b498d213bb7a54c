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
#include "client/main/scan_page_ids.h"
#include "client/main/start_up_rules.h"

namespace olvex {
namespace {

constexpr UINT_PTR kRequestTimer = 1;
constexpr UINT kRequestTimerMs = 250;
constexpr UINT_PTR kHistoryTimer = 3;
constexpr UINT kHistoryTimerMs = 5000;
constexpr UINT IDS_STANDARD_DETAILS = 57638;
constexpr UINT IDS_CUSTOM_DETAILS = 57639;

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
    OnClicked(IDC_SCAN_STANDARD_DETAILS, [] {
        if (auto* app = CGorsewatch5App::Current())
            app->ShowMessage(IDS_STANDARD_DETAILS, kSoundWarning);
    });
    OnClicked(IDC_SCAN_CUSTOM_DETAILS, [] {
        if (auto* app = CGorsewatch5App::Current())
            app->ShowMessage(IDS_CUSTOM_DETAILS, kSoundWarning);
    });
    OnClicked(IDC_SCAN_ABOUT, [] {
        if (auto* app = CGorsewatch5App::Current())
            app->OnAppAbout();
    });
}

bool CScanView::OnInitDialog() {
    CPage::OnInitDialog();
    CheckItem(IDC_SCAN_STANDARD, true);
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
    app->custom_folders().clear();
    const ui::TreeView tree(handle(), IDC_SCAN_DRIVE_TREE);
    // Full path of an item: each ancestor's text with one backslash after it.
    const auto full_path = [&tree](HTREEITEM item) {
        std::wstring path = tree.ItemText(item);
        for (HTREEITEM parent = TreeView_GetParent(tree.handle(), item); parent != nullptr;
             parent = TreeView_GetParent(tree.handle(), parent)) {
            std::wstring text = tree.ItemText(parent);
            if (text.empty() || text.back() != L'\\')
                text += L'\\';
            path = text + path;
        }
        return path;
    };
    std::vector<HTREEITEM> pending = tree.Roots();
    for (std::size_t i = 0; i < pending.size(); ++i) {
        const HTREEITEM item = pending[i];
        if (tree.IsChecked(item)) {
            const std::wstring path = full_path(item);
            OutputDebugStringW(path.c_str());
            app->custom_folders().push_back(ui::ToAnsi(path));
            continue;
        }
        for (const HTREEITEM child : tree.Children(item))
            pending.push_back(child);
    }
}

void CScanView::RunScanNow(bool custom) {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    if (app == nullptr)
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
    const ProductFolder folder = MakeProductDataFolder();
    switch (folder.error) {
        case ProductFolderError::kNone:
            break;
        case ProductFolderError::kNoCommonAppData:
            app->ShowMessage(IDS_NO_APPDATA_FOLDER, kSoundWarning);
            return;
        case ProductFolderError::kCompanyFolder:
            app->ShowMessage(IDS_COMPANY_FOLDER, kSoundWarning);
            return;
        case ProductFolderError::kProductFolder:
            app->ShowMessage(IDS_PRODUCT_FOLDER, kSoundWarning);
            return;
    }
    const std::string path = folder.path + AnsiResourceText(IDS_SCAN_HISTORY_FILE_NAME);
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
    if (app != nullptr && app->requests().scan == 1) {
        app->requests().scan = 0;
        app->SwitchView(kScanPage);
        RunScanNow(IsItemChecked(IDC_SCAN_CUSTOM));
    }
}

}  // namespace olvex
