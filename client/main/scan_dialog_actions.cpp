// What the user does with the Scan dialog's results once a scan has ended:
// ticks pests (a pest and its locations take one state), removes every
// listed pest with Quarantine All Pests, excludes the ticked ones from later
// scans with Exclude Checked Pests, and opens a pest's page by its name.
//
// Pests that share a name share one root, whose data is only the first
// pest's id: each command handles every pest id among a root's children,
// removes only the children of the pests it handled, and the root once none
// is left.
#include <windows.h>
#include <commctrl.h>

#include <exception>
#include <string>
#include <vector>

#include "client/common/ui/ansi_text.h"
#include "client/common/ui/controls.h"
#include "client/common/ui/gdi.h"
#include "client/common/ui/system_seams.h"
#include "client/common/removal_places.h"
#include "client/main/app_helpers.h"
#include "client/main/app_ids.h"
#include "client/main/cleaning_rules.h"
#include "client/main/gorsewatch5_app.h"
#include "client/main/message_dialog.h"
#include "client/main/message_rules.h"
#include "client/main/pest_info_page.h"
#include "client/main/scan_dialog.h"
#include "client/main/scan_dialog_actions_ids.h"
#include "client/main/scan_dialog_ids.h"
#include "olvex/com/bstr.h"
#include "olvex/com/com_ptr.h"

namespace olvex {
namespace {

constexpr char kCleanLogName[] = "qzcleanlog.csv";

std::string ActionText(UINT id) {
    return ui::ToAnsi(ui::LoadText(id));
}

// One location's removal through the engine: the exterminator records it in
// the session that its re-initialisation began and removes it; each removal
// is logged.
class EngineRemoval : public PestRemoval {
  public:
    EngineRemoval(CGorsewatch5App& app, IExterminator& exterminator)
        : app_(app), exterminator_(exterminator) {}

    LocationPlace PlaceOf(const std::string& location) override {
        // As the command-line scanner compares them: one file reported by
        // two scans in two spellings is one place, removed and logged once.
        ILocation* object = app_.location();
        const com::UniqueBstr text = MakeBstr(location);
        if (object == nullptr)
            return {};
        return PlaceOfLocation(*object, text.Get());
    }

    bool Remove(std::int32_t pest_id, const std::string& location, LocationKind kind) override {
        const com::UniqueBstr text = MakeBstr(location);
        // Read before the removal: afterwards the file is gone.
        long pvt = -1;
        if (IPestDatabase* database = app_.pest_database())
            database->GetPVTByLocation(text.Get(), &pvt);
        exterminator_.put_vbQuarantineCookies(VARIANT_FALSE);
        VARIANT_BOOL success = VARIANT_FALSE;
        const HRESULT result =
            exterminator_.ExterminatePest(pest_id, text.Get(), VARIANT_FALSE, &success);
        const bool removed = SUCCEEDED(result) && success == VARIANT_TRUE;
        if (removed) {
            app_.activity_log().With([&](CLogFile& log) {
                log.AddEntry(pest_id, location, app_.GetPestName(pest_id),
                             ActionText(RemovalActionId(kind)), app_.GetPestCategory(pest_id), pvt);
            });
        }
        VARIANT_BOOL reboot = VARIANT_FALSE;
        if (SUCCEEDED(exterminator_.IsRebootRequired(&reboot)) && reboot == VARIANT_TRUE)
            reboot_required = true;
        return removed;
    }

    bool reboot_required = false;

  private:
    CGorsewatch5App& app_;
    IExterminator& exterminator_;
};

std::vector<std::int32_t> ChildIds(const ui::TreeView& tree, HTREEITEM root) {
    std::vector<std::int32_t> ids;
    for (const HTREEITEM child : tree.Children(root))
        ids.push_back(static_cast<std::int32_t>(tree.Data(child)));
    return ids;
}

void PlayDoneSound(CGorsewatch5App& app) {
    if (app.settings().donesound)
        ui::CurrentSoundPlayer().PlayFile(L"DONE.WAV");
}

}  // namespace

void CScanDlg::ListenForResultActions() {
    OnNotify(IDC_SCAN_RESULTS, NM_CLICK, [this](NMHDR&) { return OnTreeClick(); });
    OnNotify(IDC_SCAN_RESULTS, TVN_KEYDOWN,
             [this](NMHDR& header) { return OnTreeKeyDown(header); });
    OnClicked(IDC_SCAN_SELECT_ALL, [this] { OnSelectAll(); });
    OnClicked(IDC_SCAN_QUARANTINE_ALL, [this] { OnQuarantineAll(); });
    OnClicked(IDC_SCAN_EXCLUDE_CHECKED, [this] { OnExcludeChecked(); });
}

void CScanDlg::Tell(const std::wstring& text, int sound_kind) {
    // Over this dialog, which it disables while it shows.
    CMessageDlg(text, sound_kind).RunModal(handle());
}

void CScanDlg::DisableExclude() {
    EnableItem(IDC_SCAN_EXCLUDE_CHECKED, false);
}

bool CScanDlg::CheckPestGroup(HTREEITEM item) {
    const ui::TreeView tree(handle(), IDC_SCAN_RESULTS);
    const bool state = !tree.IsChecked(item);
    const HTREEITEM parent = TreeView_GetParent(tree.handle(), item);
    const HTREEITEM root = parent != nullptr ? parent : item;
    // The clicked box is left to the tree, which toggles it afterwards.
    if (root != item)
        tree.SetChecked(root, state);
    for (const HTREEITEM child : tree.Children(root)) {
        if (child != item)
            tree.SetChecked(child, state);
    }
    return state;
}

bool CScanDlg::AnyOtherItemChecked(HTREEITEM item) const {
    // The item whose box is about to change does not count (rather than
    // the selected item, which a click on a box does not move).
    const ui::TreeView tree(handle(), IDC_SCAN_RESULTS);
    for (const HTREEITEM root : tree.Roots()) {
        if (root != item && tree.IsChecked(root))
            return true;
        for (const HTREEITEM child : tree.Children(root)) {
            if (child != item && tree.IsChecked(child))
                return true;
        }
    }
    return false;
}

LRESULT CScanDlg::OnTreeClick() {
    const ui::TreeView tree(handle(), IDC_SCAN_RESULTS);
    const DWORD position = GetMessagePos();
    const ui::TreeView::Hit hit = tree.HitTestScreen(
        {static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))});
    if (hit.item == nullptr)
        return 0;
    if ((hit.flags & (TVHT_ONITEMSTATEICON | TVHT_ONITEMICON)) != 0) {
        const bool state = CheckPestGroup(hit.item);
        const CGorsewatch5App* app = CGorsewatch5App::Current();
        if (app != nullptr && !app->m_bLimitedRights) {
            if (select_all_) {
                CheckItem(IDC_SCAN_SELECT_ALL, false);
                select_all_ = false;
            }
            EnableItem(IDC_SCAN_EXCLUDE_CHECKED, state || AnyOtherItemChecked(hit.item));
        }
        InvalidateRect(tree.handle(), nullptr, TRUE);
    } else if ((hit.flags & TVHT_ONITEMLABEL) != 0) {
        OpenPestInfoPage(handle(), static_cast<std::int32_t>(tree.Data(hit.item)));
    }
    return 0;
}

LRESULT CScanDlg::OnTreeKeyDown(const NMHDR& header) {
    const auto& key = reinterpret_cast<const NMTVKEYDOWN&>(header);
    if (key.wVKey != VK_SPACE)
        return 0;
    const ui::TreeView tree(handle(), IDC_SCAN_RESULTS);
    const HTREEITEM item = tree.Selected();
    const bool state = item != nullptr && CheckPestGroup(item);
    EnableItem(IDC_SCAN_EXCLUDE_CHECKED, state || AnyOtherItemChecked(item));
    // The space takes no part in the tree's incremental search.
    return 1;
}

void CScanDlg::OnSelectAll() {
    const ui::TreeView tree(handle(), IDC_SCAN_RESULTS);
    const bool checked = IsItemChecked(IDC_SCAN_SELECT_ALL);
    ui::SetTreeChecks(tree, checked);
    if (checked)
        EnableItem(IDC_SCAN_EXCLUDE_CHECKED, true);
    else
        DisableExclude();
    select_all_ = checked;
    InvalidateRect(tree.handle(), nullptr, TRUE);
}

void CScanDlg::PruneResults(HTREEITEM root, const std::vector<std::int32_t>& handled) {
    const ui::TreeView tree(handle(), IDC_SCAN_RESULTS);
    const std::vector<HTREEITEM> children = tree.Children(root);
    const RootPruning pruning = PruneRoot(ChildIds(tree, root), handled);
    if (pruning.root) {
        TreeView_DeleteItem(tree.handle(), root);
        std::erase_if(result_roots_, [root](const auto& entry) { return entry.second == root; });
        return;
    }
    for (const std::size_t index : pruning.children)
        TreeView_DeleteItem(tree.handle(), children[index]);
}

void CScanDlg::OnQuarantineAll() {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    if (app == nullptr || app->m_bLimitedRights)
        return;
    IExterminator* exterminator = app->exterminator();
    {
        // A new session begins with each Quarantine All Pests.
        const com::UniqueBstr quarantine_folder = MakeBstr(app->install_folder());
        const com::UniqueBstr data_folder = MakeBstr(app->data_folder());
        VARIANT_BOOL initialized = VARIANT_FALSE;
        if (exterminator == nullptr ||
            FAILED(exterminator->InitializeEx(quarantine_folder.Get(), data_folder.Get(),
                                              &initialized))) {
            // Nothing may be removed outside a session of its own.
            Tell(ui::LoadText(IDS_SCAN_INTERNAL_ERROR), kSoundWarning);
            return;
        }
        if (initialized != VARIANT_TRUE) {
            Tell(FillInMessage(ui::LoadText(IDS_EXTERMINATOR_INIT_FAILED), std::nullopt,
                               LastErrorText(exterminator)),
                 kSoundWarning);
            return;
        }
    }

    const ui::TreeView tree(handle(), IDC_SCAN_RESULTS);
    std::optional<ui::WaitCursor> wait(std::in_place);
    EnableItem(IDC_SCAN_QUARANTINE_ALL, false);
    const auto give_up = [&] {
        EnableItem(IDC_SCAN_QUARANTINE_ALL, true);
        wait.reset();
    };
    bool all_checked = true;
    for (const HTREEITEM root : tree.Roots())
        all_checked = all_checked && tree.IsChecked(root);
    if (!all_checked && app->MessageBoxFromResource(IDS_NOT_ALL_CHECKED, MB_YESNO | MB_ICONWARNING,
                                                    handle()) != IDYES) {
        give_up();
        return;
    }
    if (app->MessageBoxFromResource(IDS_PROGRAMS_MAY_EXIT, MB_YESNO | MB_ICONWARNING, handle()) !=
        IDYES) {
        give_up();
        return;
    }

    bool failed = false;
    try {
        EngineRemoval removal(*app, *exterminator);
        for (const HTREEITEM root : tree.Roots()) {
            std::vector<std::int32_t> handled;
            const std::vector<std::int32_t> ids =
                PestIdsUnderRoot(static_cast<std::int32_t>(tree.Data(root)), ChildIds(tree, root));
            for (const std::int32_t id : ids) {
                std::vector<DetectedPest>& pests = app->detected_pests();
                const int index = app->FindDetectedPest(id);
                if (index < 0) {
                    // Nothing to remove is known of it: it leaves the tree.
                    Tell(ui::LoadText(IDS_PEST_ITEM_FAILED), kSoundWarning);
                    handled.push_back(id);
                    continue;
                }
                const DetectedPest pest = pests[static_cast<std::size_t>(index)];
                const bool removed = RemoveDetectedPest(pest, removal);
                app->activity_log().With([](CLogFile& log) { log.Flush(); });
                if (removal.reboot_required)
                    reboot_required_ = true;
                if (!removed) {
                    failed = true;
                    continue;
                }
                pests.erase(pests.begin() + index);
                handled.push_back(id);
                DisableExclude();
                CheckItem(IDC_SCAN_SELECT_ALL, false);
                EnableItem(IDC_SCAN_SELECT_ALL, false);
                select_all_ = false;
            }
            PruneResults(root, handled);
        }
    } catch (const std::exception&) {
        failed = true;
    }

    // The scripted remover's own lines follow the removals it did.
    app->activity_log().With(
        [&](CLogFile& log) { log.AppendAndRemoveFile(app->install_folder() + kCleanLogName); });
    PlayDoneSound(*app);
    if (failed)
        Tell(ui::LoadText(IDS_NOT_ALL_QUARANTINED), kSoundWarning);
    wait.reset();
    if (reboot_required_)
        Tell(ui::LoadText(IDS_RESTART_NEEDED), kSoundDone);
    RedrawWindow(handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void CScanDlg::OnExcludeChecked() {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    if (app == nullptr || app->m_bLimitedRights)
        return;
    DisableExclude();
    com::ComPtr<IExcludedItem> exclusion;
    IExcluder* excluder = app->excluder();
    if (FAILED(CoCreateInstance(CLSID_ExcludedItem, nullptr,
                                CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_IExcludedItem,
                                exclusion.PutVoid())) ||
        !exclusion || excluder == nullptr) {
        Tell(ui::LoadText(IDS_EXCLUDE_FAILED), kSoundWarning);
        return;
    }
    const ui::TreeView tree(handle(), IDC_SCAN_RESULTS);
    const std::string excluded = ActionText(IDS_ACTION_EXCLUDED);
    const com::UniqueBstr pest_id_name(SysAllocString(L"PestId"));
    const com::UniqueBstr pest_name_name(SysAllocString(L"PestName"));
    for (const HTREEITEM root : tree.Roots()) {
        if (!tree.IsChecked(root))
            continue;
        std::vector<std::int32_t> handled;
        const std::vector<std::int32_t> ids =
            PestIdsUnderRoot(static_cast<std::int32_t>(tree.Data(root)), ChildIds(tree, root));
        for (const std::int32_t id : ids) {
            try {
                std::vector<DetectedPest>& pests = app->detected_pests();
                const int index = app->FindDetectedPest(id);
                if (index < 0)
                    continue;
                exclusion->SetAttributeValue(pest_id_name.Get(),
                                             MakeBstr(std::to_string(id)).Get());
                exclusion->SetAttributeValue(pest_name_name.Get(),
                                             MakeBstr(app->GetPestName(id)).Get());
                VARIANT_BOOL ready = VARIANT_FALSE;
                excluder->IsInitialized(&ready);
                if (ready == VARIANT_FALSE) {
                    const com::UniqueBstr data_folder = MakeBstr(app->data_folder());
                    excluder->Initialize(data_folder.Get(), &ready);
                    if (ready == VARIANT_FALSE) {
                        Tell(FillInMessage(ui::LoadText(IDS_EXCLUDER_INIT_FAILED), std::nullopt,
                                           LastErrorText(excluder)),
                             kSoundWarning);
                        PruneResults(root, handled);
                        return;
                    }
                }
                VARIANT_BOOL added = VARIANT_FALSE;
                if (FAILED(excluder->AddExclusion(exclusion.Get(), &added)) ||
                    added == VARIANT_FALSE) {
                    Tell(ui::LoadText(IDS_EXCLUDE_FAILED), kSoundWarning);
                    continue;
                }
                const DetectedPest pest = pests[static_cast<std::size_t>(index)];
                app->activity_log().With([&](CLogFile& log) {
                    for (const std::string& location : pest.locations) {
                        const com::UniqueBstr text = MakeBstr(location);
                        long pvt = -1;
                        if (IPestDatabase* database = app->pest_database())
                            database->GetPVTByLocation(text.Get(), &pvt);
                        log.AddEntry(id, location, app->GetPestName(id), excluded,
                                     app->GetPestCategory(id), pvt);
                    }
                    log.Flush();
                });
                pests.erase(pests.begin() + index);
                handled.push_back(id);
            } catch (const std::exception&) {
                Tell(ui::LoadText(IDS_EXCLUDE_FAILED), kSoundWarning);
            }
        }
        PruneResults(root, handled);
    }
    PlayDoneSound(*app);
    if (tree.Roots().empty()) {
        EnableItem(IDC_SCAN_QUARANTINE_ALL, false);
        CheckItem(IDC_SCAN_SELECT_ALL, false);
        EnableItem(IDC_SCAN_SELECT_ALL, false);
        select_all_ = false;
    }
}

}  // namespace olvex
