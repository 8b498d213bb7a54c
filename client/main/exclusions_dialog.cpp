#include "client/main/exclusions_dialog.h"

#include <commctrl.h>
#include <windowsx.h>

#include <optional>
#include <vector>

#include "client/common/client_environment.h"
#include "client/common/ui/ansi_text.h"
#include "client/common/ui/dialog_layout.h"
#include "client/main/app_helpers.h"
#include "client/main/app_ids.h"
#include "client/main/dialog_actions.h"
#include "client/main/exclusions_dialog_ids.h"
#include "client/main/folder_chooser.h"
#include "client/main/gorsewatch5_app.h"
#include "client/main/message_rules.h"
#include "client/main/page_look_ids.h"
#include "client/main/scan_dialog_ids.h"
#include "client/main/scan_page_ids.h"
#include "olvex/com/bstr.h"
#include "olvex/com/com_ptr.h"

namespace olvex {
namespace {

// Posted after a click on an item's check box, so that the box has changed
// by the time the buttons are worked out: wParam the tree's id, lParam the
// item.
constexpr UINT kItemBoxClicked = WM_APP + 1;

// The item data of the two trees' items.
constexpr LPARAM kPestTreeData = 0;
constexpr LPARAM kPathTreeData = 1;

constexpr char kPestIdAttribute[] = "PestId";
constexpr char kPestNameAttribute[] = "PestName";
constexpr char kPathAttribute[] = "Path";
constexpr char kPathPestId[] = "None";
constexpr char kPathCategory[] = "(File/Folder)";
constexpr char kPathPestName[] = "None";
constexpr wchar_t kReportExtension[] = L"txt";
constexpr wchar_t kReportFileName[] = L"ExclusionReport";
constexpr wchar_t kReportFilter[] = L"Text Files (*.txt)|*.txt||";

constexpr int kArrangedControls[] = {
    IDCANCEL,
    IDC_EXCLUSIONS_PESTS_FRAME,
    IDC_EXCLUSIONS_PESTS,
    IDC_EXCLUSIONS_SELECT_PESTS,
    IDC_EXCLUSIONS_REMOVE_PESTS,
    IDC_EXCLUSIONS_PATHS_FRAME,
    IDC_EXCLUSIONS_PATHS,
    IDC_EXCLUSIONS_SELECT_PATHS,
    IDC_EXCLUSIONS_ADD_PATH,
    IDC_EXCLUSIONS_REMOVE_PATHS,
    IDC_EXCLUSIONS_SAVE_REPORT,
    IDC_EXCLUSIONS_HELP,
};

std::optional<std::string> Attribute(IExcludedItem& item, const char* name) {
    com::UniqueBstr value;
    const com::UniqueBstr attribute = MakeBstr(name);
    if (FAILED(item.GetAttributeValue(attribute.Get(), value.Put())) || value.Get() == nullptr)
        return std::nullopt;
    return AnsiFromBstrText(value.Get());
}

std::string StoredText(IExcludedItem& item) {
    com::UniqueBstr text;
    if (FAILED(item.GetString(text.Put())))
        return {};
    return AnsiFromBstrText(text.Get());
}

com::ComPtr<IExcludedItem> NewExcludedItem() {
    com::ComPtr<IExcludedItem> item;
    if (FAILED(CoCreateInstance(CLSID_ExcludedItem, nullptr,
                                CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_IExcludedItem,
                                item.PutVoid())))
        item.Reset();
    return item;
}

std::wstring ExcluderError(IExcluder& excluder) {
    com::UniqueBstr text;
    if (FAILED(excluder.get_bsLastError(text.Put())) || text.Get() == nullptr)
        return {};
    return std::wstring(text.Get(), SysStringLen(text.Get()));
}

// A whole number in the system locale's format, without decimals.
std::string SystemNumberText(std::size_t number) {
    SystemNumberFormat system;
    NUMBERFMTA format = system.Format();
    format.NumDigits = 0;
    const std::string digits = std::to_string(number);
    char text[64] = {};
    if (GetNumberFormatA(LOCALE_SYSTEM_DEFAULT, 0, digits.c_str(), &format, text, sizeof(text)) ==
        0)
        return digits;
    return text;
}

std::vector<ReportItem> ReportItems(const ui::TreeView& tree) {
    std::vector<ReportItem> items;
    for (const HTREEITEM root : tree.Roots()) {
        ReportItem item{ui::ToAnsi(tree.ItemText(root)), {}};
        for (const HTREEITEM child : tree.Children(root))
            item.children.push_back(ui::ToAnsi(tree.ItemText(child)));
        items.push_back(std::move(item));
    }
    return items;
}

}  // namespace

CExclusionsDlg::CExclusionsDlg() : ManagementDialog(IDD_EXCLUSIONS) {
    static constexpr TreeIds kPests{IDC_EXCLUSIONS_PESTS, IDC_EXCLUSIONS_SELECT_PESTS,
                                    IDC_EXCLUSIONS_REMOVE_PESTS};
    static constexpr TreeIds kPaths{IDC_EXCLUSIONS_PATHS, IDC_EXCLUSIONS_SELECT_PATHS,
                                    IDC_EXCLUSIONS_REMOVE_PATHS};
    OnClicked(IDC_EXCLUSIONS_ADD_PATH, [this] { OnAddPath(); });
    OnClicked(IDC_EXCLUSIONS_REMOVE_PESTS, [this] { OnRemove(kPests); });
    OnClicked(IDC_EXCLUSIONS_REMOVE_PATHS, [this] { OnRemove(kPaths); });
    OnClicked(IDC_EXCLUSIONS_SELECT_PESTS, [this] { OnSelectAll(kPests); });
    OnClicked(IDC_EXCLUSIONS_SELECT_PATHS, [this] { OnSelectAll(kPaths); });
    OnClicked(IDC_EXCLUSIONS_SAVE_REPORT, [this] { OnSaveReport(); });
    OnClicked(IDC_EXCLUSIONS_HELP, [this] { OpenHelpFile(handle()); });
    OnNotify(IDC_EXCLUSIONS_PESTS, NM_CLICK, [this](NMHDR&) { return OnClickTree(kPests); });
    OnNotify(IDC_EXCLUSIONS_PATHS, NM_CLICK, [this](NMHDR&) { return OnClickTree(kPaths); });
    OnMessage(kItemBoxClicked, [this](WPARAM wparam, LPARAM lparam) -> LRESULT {
        const TreeIds& ids = static_cast<int>(wparam) == kPests.tree ? kPests : kPaths;
        const ui::TreeView tree(handle(), ids.tree);
        const bool ticked = tree.IsChecked(reinterpret_cast<HTREEITEM>(lparam));
        ShowButtons(ids, ButtonsAfterItemToggled(Buttons(ids), ticked, TickedCount(tree)));
        return 0;
    });
}

bool CExclusionsDlg::OnInitDialog() {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    if (app == nullptr)
        return true;
    const COLORREF background = ColorFromResource(IDS_DRIVE_TREE_COLOUR);
    {
        const HDC dc = GetDC(handle());
        tree_font_ = ui::CreatePointFontFromResources(IDS_SCAN_FONT_FACE, IDS_SCAN_FONT_SIZE,
                                                      FW_NORMAL, false, dc);
        caption_font_ = ui::CreatePointFontFromResources(IDS_HEADING_FONT_FACE, IDS_SCAN_FONT_SIZE,
                                                         FW_BOLD, false, dc);
        ReleaseDC(handle(), dc);
    }
    for (const int id : {IDC_EXCLUSIONS_PESTS, IDC_EXCLUSIONS_PATHS}) {
        TreeView_SetBkColor(Item(id), background);
        ui::Control(handle(), id).SetFont(tree_font_.get());
    }
    for (const int id : {IDC_EXCLUSIONS_PESTS_FRAME, IDC_EXCLUSIONS_PATHS_FRAME})
        ui::Control(handle(), id).SetFont(caption_font_.get());
    help_picture_.reset(static_cast<HBITMAP>(
        LoadImageW(instance(), MAKEINTRESOURCEW(IDB_HELP_BUTTON), IMAGE_BITMAP, 0, 0, 0)));
    ui::Button(handle(), IDC_EXCLUSIONS_HELP).SetBitmap(help_picture_.get());

    FillTrees();
    EnableItem(IDC_EXCLUSIONS_ADD_PATH, app->m_bLimitedRights == 0);
    ui::RemoveTopBand(handle(), std::span<const int>(kArrangedControls), {}, true);
    return true;
}

IExcluder* CExclusionsDlg::EnsureExcluder() {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    if (app == nullptr || app->excluder() == nullptr) {
        if (app != nullptr)
            app->RequireEngineObjects();
        return nullptr;
    }
    IExcluder* excluder = app->excluder();
    VARIANT_BOOL ready = VARIANT_FALSE;
    if (SUCCEEDED(excluder->IsInitialized(&ready)) && ready != VARIANT_FALSE)
        return excluder;
    const com::UniqueBstr folder = MakeBstr(app->data_folder());
    ready = VARIANT_FALSE;
    if (SUCCEEDED(excluder->Initialize(folder.Get(), &ready)) && ready != VARIANT_FALSE)
        return excluder;
    app->ShowMessageText(FillInMessage(ui::LoadText(IDS_EXCLUDER_INIT_FAILED), std::nullopt,
                                       ExcluderError(*excluder)),
                         kSoundWarning);
    return nullptr;
}

com::ComPtr<IExcluder> CExclusionsDlg::ExcluderReadAfresh() {
    const CGorsewatch5App* app = CGorsewatch5App::Current();
    com::ComPtr<IExcluder> fresh;
    if (app == nullptr ||
        FAILED(CoCreateInstance(CLSID_Excluder, nullptr, CLSCTX_INPROC_SERVER, IID_IExcluder,
                                fresh.PutVoid())) ||
        !fresh)
        return {};
    const com::UniqueBstr folder = MakeBstr(app->data_folder());
    VARIANT_BOOL ready = VARIANT_FALSE;
    if (FAILED(fresh->Initialize(folder.Get(), &ready)) || ready == VARIANT_FALSE)
        return {};
    return fresh;
}

void CExclusionsDlg::FillTrees(const std::set<std::string>& keep_ticked) {
    const ui::TreeView pests(handle(), IDC_EXCLUSIONS_PESTS);
    const ui::TreeView paths(handle(), IDC_EXCLUSIONS_PATHS);
    pests.DeleteAll();
    paths.DeleteAll();
    exclusion_texts_.clear();
    if (IExcluder* excluder = EnsureExcluder()) {
        // The list as the exclusion file has it now, read by an excluder of
        // its own: what the background protection or the command-line
        // scanner excluded since the program started is listed too. A file
        // that cannot be read just now leaves the program's own list.
        const com::ComPtr<IExcluder> fresh = ExcluderReadAfresh();
        IExcluder* source = fresh ? fresh.Get() : excluder;
        com::ComPtr<IExcludedItem> item;
        HRESULT result = source->GetFirstExclusion(item.Put());
        while (SUCCEEDED(result) && item) {
            const auto name = Attribute(*item.Get(), kPestNameAttribute);
            const ExclusionTree tree =
                ClassifyExclusion(Attribute(*item.Get(), kPestIdAttribute), name);
            if (tree != ExclusionTree::kHidden) {
                const bool in_paths = tree == ExclusionTree::kPaths;
                const std::string text = StoredText(*item.Get());
                const HTREEITEM added = (in_paths ? paths : pests)
                                            .Insert(TVI_ROOT, ui::FromAnsi(*name),
                                                    in_paths ? kPathTreeData : kPestTreeData, true,
                                                    keep_ticked.count(text) > 0);
                if (added != nullptr)
                    exclusion_texts_[added] = text;
            }
            result = source->GetNextExclusion(item.Put());
        }
        if (FAILED(result)) {
            if (CGorsewatch5App* app = CGorsewatch5App::Current())
                app->ShowMessage(IDS_SCAN_INTERNAL_ERROR, kSoundWarning);
        }
    }
    ShowButtons({IDC_EXCLUSIONS_PESTS, IDC_EXCLUSIONS_SELECT_PESTS, IDC_EXCLUSIONS_REMOVE_PESTS},
                ButtonsAfterFill(pests.Roots().size()));
    ShowButtons({IDC_EXCLUSIONS_PATHS, IDC_EXCLUSIONS_SELECT_PATHS, IDC_EXCLUSIONS_REMOVE_PATHS},
                ButtonsAfterFill(paths.Roots().size()));
    // Exclusions that could not be removed stay ticked, and Remove with them.
    for (const TreeIds& ids :
         {TreeIds{IDC_EXCLUSIONS_PESTS, IDC_EXCLUSIONS_SELECT_PESTS, IDC_EXCLUSIONS_REMOVE_PESTS},
          TreeIds{IDC_EXCLUSIONS_PATHS, IDC_EXCLUSIONS_SELECT_PATHS,
                  IDC_EXCLUSIONS_REMOVE_PATHS}}) {
        if (TickedCount(ui::TreeView(handle(), ids.tree)) > 0)
            EnableItem(ids.remove, true);
    }
}

void CExclusionsDlg::ShowButtons(const TreeIds& ids, const TreeButtons& buttons) const {
    EnableItem(ids.remove, buttons.remove_enabled);
    CheckItem(ids.select_all, buttons.select_all_checked);
    EnableItem(ids.select_all, buttons.select_all_enabled);
}

TreeButtons CExclusionsDlg::Buttons(const TreeIds& ids) const {
    return {.remove_enabled = IsWindowEnabled(Item(ids.remove)) != FALSE,
            .select_all_checked = IsItemChecked(ids.select_all),
            .select_all_enabled = IsWindowEnabled(Item(ids.select_all)) != FALSE};
}

std::size_t CExclusionsDlg::TickedCount(const ui::TreeView& tree) const {
    std::size_t ticked = 0;
    for (const HTREEITEM item : tree.Roots())
        ticked += tree.IsChecked(item) ? 1 : 0;
    return ticked;
}

void CExclusionsDlg::OnAddPath() {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    if (app == nullptr || app->m_bLimitedRights)
        return;
    com::ComPtr<IExcludedItem> item = NewExcludedItem();
    IExcluder* excluder = EnsureExcluder();
    if (excluder == nullptr)
        return;
    if (!item) {
        app->ShowMessage(IDS_SCAN_INTERNAL_ERROR, kSoundWarning);
        return;
    }
    const FolderChoice choice =
        CurrentFolderChooser().Choose(handle(), ui::LoadText(IDS_CHOOSE_FILE_OR_FOLDER));
    if (!choice.chosen)
        return;
    if (choice.path.empty()) {
        EnableItem(IDC_EXCLUSIONS_SELECT_PATHS, true);
        return;
    }
    const com::UniqueBstr path = MakeBstr(choice.path);
    VARIANT_BOOL excluded = VARIANT_FALSE;
    excluder->IsFolderExcluded(path.Get(), app->pest_database(), &excluded);
    if (excluded == VARIANT_FALSE) {
        // The pest id goes in as the text "None"; the exclusion's own text is
        // made by the item.
        const com::UniqueBstr id = MakeBstr(kPestIdAttribute);
        const com::UniqueBstr name = MakeBstr(kPestNameAttribute);
        const com::UniqueBstr path_name = MakeBstr(kPathAttribute);
        const com::UniqueBstr none = MakeBstr(kPathPestId);
        item->SetAttributeValue(path_name.Get(), path.Get());
        item->SetAttributeValue(name.Get(), path.Get());
        item->SetAttributeValue(id.Get(), none.Get());
        VARIANT_BOOL added = VARIANT_FALSE;
        if (SUCCEEDED(excluder->AddExclusion(item.Get(), &added)) && added != VARIANT_FALSE) {
            const std::string action = AnsiResourceText(IDS_ACTION_EXCLUDED);
            app->activity_log().With([&](CLogFile& log) {
                log.WriteEntry(0, choice.path, kPathPestName, action, kPathCategory, -1);
            });
        } else {
            const std::wstring error = ExcluderError(*excluder);
            if (error.empty())
                app->ShowMessage(IDS_SCAN_INTERNAL_ERROR, kSoundWarning);
            else
                app->ShowMessageText(error, kSoundWarning);
        }
    }
    FillTrees();
    EnableItem(IDC_EXCLUSIONS_SELECT_PATHS, true);
}

void CExclusionsDlg::OnRemove(const TreeIds& ids) {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    if (app == nullptr || app->m_bLimitedRights)
        return;
    EnableItem(ids.remove, false);
    IExcluder* excluder = EnsureExcluder();
    if (excluder == nullptr)
        return;
    const ui::TreeView tree(handle(), ids.tree);
    std::set<std::string> removed;
    std::set<std::string> kept;
    for (const HTREEITEM item : tree.Roots()) {
        if (!tree.IsChecked(item))
            continue;
        const auto found = exclusion_texts_.find(item);
        if (found == exclusion_texts_.end())
            continue;
        const std::string& text = found->second;
        // Its twin (the same text) went with the first removal.
        if (removed.count(text) > 0)
            continue;
        com::ComPtr<IExcludedItem> exclusion = NewExcludedItem();
        VARIANT_BOOL done = VARIANT_FALSE;
        if (exclusion) {
            const com::UniqueBstr stored = MakeBstr(text);
            exclusion->SetString(stored.Get());
            excluder->RemoveExclusion(exclusion.Get(), &done);
        } else {
            app->ShowMessage(IDS_SCAN_INTERNAL_ERROR, kSoundWarning);
        }
        (done != VARIANT_FALSE ? removed : kept).insert(text);
    }
    FillTrees(kept);
    if (kept.empty())
        ShowButtons(ids, ButtonsAfterRemove(tree.Roots().size()));
    else
        CheckItem(ids.select_all, false);
}

void CExclusionsDlg::OnSelectAll(const TreeIds& ids) {
    const bool ticked = IsItemChecked(ids.select_all);
    ShowButtons(ids, ButtonsAfterSelectAll(Buttons(ids), ticked));
    ui::SetTreeChecks(ui::TreeView(handle(), ids.tree), ticked);
}

LRESULT CExclusionsDlg::OnClickTree(const TreeIds& ids) {
    const ui::TreeView tree(handle(), ids.tree);
    const DWORD position = GetMessagePos();
    const ui::TreeView::Hit hit =
        tree.HitTestScreen({GET_X_LPARAM(position), GET_Y_LPARAM(position)});
    if (hit.item != nullptr && (hit.flags & (TVHT_ONITEMSTATEICON | TVHT_ONITEMICON)))
        PostMessageW(handle(), kItemBoxClicked, static_cast<WPARAM>(ids.tree),
                     reinterpret_cast<LPARAM>(hit.item));
    return 0;
}

void CExclusionsDlg::OnSaveReport() {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    if (app == nullptr)
        return;
    const ui::TreeView pests(handle(), IDC_EXCLUSIONS_PESTS);
    const ui::TreeView paths(handle(), IDC_EXCLUSIONS_PATHS);
    if (pests.Roots().empty() && paths.Roots().empty()) {
        app->ShowMessage(IDS_NO_EXCLUSIONS, kSoundDone);
        return;
    }
    EnableItem(IDC_EXCLUSIONS_SAVE_REPORT, false);
    SaveReport(handle(), {kReportExtension, kReportFileName, kReportFilter}, [&] {
        return FormatExclusionsReport(ReportItems(pests), ReportItems(paths),
                                      FormatCurrentDateTime(), SystemNumberText);
    });
    EnableItem(IDC_EXCLUSIONS_SAVE_REPORT, true);
}

}  // namespace olvex
