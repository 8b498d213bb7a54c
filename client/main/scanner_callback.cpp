#include "client/main/scanner_callback.h"

#include <commctrl.h>

#include <vector>

#include "client/common/prevalence_reporter.h"
#include "client/common/ui/ansi_text.h"
#include "client/common/ui/controls.h"
#include "client/common/ui/system_seams.h"
#include "client/main/app_helpers.h"
#include "client/main/gorsewatch5_app.h"
#include "client/main/scan_dialog.h"
#include "client/main/scan_dialog_ids.h"
#include "olvex/com/bstr.h"

namespace olvex {

HRESULT STDMETHODCALLTYPE CScannerCallback::ShouldScanContinue(VARIANT_BOOL* continue_scan) {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    if (app != nullptr && continue_scan != nullptr)
        *continue_scan = app->continue_scan();
    return S_OK;
}

namespace {

// The pest's root of the results tree (one per name), made when there is
// none; then its new location child. The dialog remembers each root, so a
// detection costs two insertions rather than a read of every root's text.
void AddResultItem(CScanDlg& dialog, const std::string& pest_name, const std::wstring& child_text,
                   std::int32_t pest_id) {
    const ui::TreeView tree(dialog.results_tree());
    HTREEITEM root = dialog.ResultRootFor(pest_name);
    if (root == nullptr) {
        root = tree.Insert(TVI_ROOT, ui::FromAnsi(pest_name), pest_id, true, false, 0);
        if (root != nullptr)
            dialog.NoteResultRoot(pest_name, root);
    }
    if (root != nullptr)
        tree.Insert(root, child_text, pest_id, true, false, 0);
}

}  // namespace

HRESULT STDMETHODCALLTYPE CScannerCallback::StartingItem(BSTR location) {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    CScanDlg* dialog = app != nullptr ? app->open_scan_dialog() : nullptr;
    if (dialog == nullptr)
        return S_OK;
    dialog->CountScannedItem();
    if (!progress_.ShouldShow(GetTickCount()))
        return S_OK;
    dialog->ShowProgress(AnsiFromBstrText(location));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CScannerCallback::PestDetected(long pest_id, BSTR location) {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    if (app == nullptr)
        return S_OK;
    if (app->settings().errorsound)
        ui::CurrentSoundPlayer().PlayFile(L"ALARM.WAV");

    CScanDlg* dialog = app->open_scan_dialog();
    const auto id = static_cast<std::int32_t>(pest_id);
    IPestDatabase* database = app->pest_database();
    com::ComPtr<IPestRecord> record;
    if (database == nullptr || FAILED(database->GetPestById(pest_id, record.Put())))
        record.Reset();
    const std::string name = app->GetPestName(id);
    const std::string category = app->GetPestCategory(id);
    long pvt = -1;
    if (database != nullptr)
        database->GetPVTByLocation(location, &pvt);

    const LocationDescription description = DescribeLocation(location, app->location());

    // Only pests the database knows are reported: an id without a record
    // has no name or PVT of its own to report.
    if (app->settings().prevresearch && record) {
        long record_pvt = -1;
        record->get_nPvt(&record_pvt);
        VARIANT_BOOL is_file = VARIANT_FALSE;
        if (ILocation* location_object = app->location()) {
            location_object->SetString(location);
            location_object->IsFile(&is_file);
        }
        CPrevalenceReporter().ReportPest(
            app->settings().guid.value_or(std::string()), id, static_cast<std::int32_t>(record_pvt),
            name, is_file == VARIANT_TRUE, ui::ToAnsi(description.value), &app->proxy_settings());
    }

    if (!app->m_bLimitedRights) {
        if (detected_text_.empty())
            detected_text_ = AnsiResourceText(IDS_ACTION_DETECTED);
        const std::string location_text = AnsiFromBstrText(location);
        app->activity_log().With([&](CLogFile& log) {
            log.AddEntry(id, location_text, name, detected_text_, category,
                         static_cast<std::int32_t>(pvt));
        });
    }

    std::vector<DetectedPest>& pests = app->detected_pests();
    const int index = app->FindDetectedPest(id);
    if (index >= 0) {
        pests[static_cast<std::size_t>(index)].locations.push_back(AnsiFromBstrText(location));
    } else {
        pests.push_back({id, name, category, {AnsiFromBstrText(location)}});
    }

    if (dialog == nullptr)
        return S_OK;
    AddResultItem(*dialog, name, description.kind + L": " + description.value, id);
    // A whole redraw per detection kept the window's thread busy while
    // detections poured in; the dialog redraws everything when the scan ends.
    if (redraw_.ShouldShow(GetTickCount()))
        RedrawWindow(dialog->results_tree(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
    dialog->ShowPestCount(pests.size());
    dialog->ShowItemCount(dialog->CountDetectedItem());
    return S_OK;
}

}  // namespace olvex
