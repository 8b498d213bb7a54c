#include "client/protect/protection_scanner_callback.h"

#include <oleauto.h>

#include <string_view>
#include <utility>

#include "client/common/activity_log_file.h"
#include "client/common/prevalence_reporter.h"
#include "client/common/ui/ansi_text.h"
#include "client/common/ui/gdi.h"
#include "client/common/ui/resource_values.h"
#include "client/protect/alert_dialogs.h"
#include "client/protect/detection_decision.h"
#include "client/protect/engine_calls.h"
#include "client/protect/main_program.h"
#include "client/protect/protection_messages.h"
#include "client/protect/wakenor_app.h"
#include "client/protect/wakenor_resources.h"
#include "client/protect/worker_trace.h"

namespace olvex::protect {
namespace {

constexpr int kExcluderAttempts = 5;
constexpr DWORD kExcluderSleepMs = 100;

std::string Text(UINT id) {
    return ui::ToAnsi(ui::LoadText(id));
}

}  // namespace

com::ComPtr<CProtectionScannerCallback> CProtectionScannerCallback::Create(
    CWakenorApp& app, DetectionObjects objects) {
    return com::ComPtr<CProtectionScannerCallback>::Adopt(
        new CProtectionScannerCallback(app, std::move(objects)));
}

CProtectionScannerCallback::CProtectionScannerCallback(CWakenorApp& app, DetectionObjects objects)
    : ScannerCallbackBase(1), app_(app), objects_(std::move(objects)) {}

HRESULT STDMETHODCALLTYPE CProtectionScannerCallback::StartingItem(BSTR) {
    Sleep(1);  // the background scan yields after every item
    return S_OK;
}

HRESULT STDMETHODCALLTYPE
CProtectionScannerCallback::ShouldScanContinue(VARIANT_BOOL* continue_scan) {
    if (foreground_check_.ShouldLook(GetTickCount()) && PestActivityRunning() &&
        app_.scan_may_continue.exchange(false))
        TraceWorkerStep("aborted");  // the engine ends the scan at this answer
    if (continue_scan != nullptr)
        *continue_scan = app_.scan_may_continue ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

std::string CProtectionScannerCallback::GetPestName(std::int32_t pest_id) const {
    com::ComPtr<IPestRecord> record;
    const HRESULT found = objects_.pest_database->GetPestById(pest_id, record.Put());
    Sleep(1);
    BSTR name = nullptr;
    if (FAILED(found) || !record || FAILED(record->get_bsName(&name)) || name == nullptr)
        return Text(IDS_UNKNOWN);
    const std::string text = AnsiOf(name);
    SysFreeString(name);
    return text;
}

std::string CProtectionScannerCallback::GetPestCategory(std::int32_t pest_id) const {
    com::ComPtr<IPestRecord> record;
    const HRESULT found = objects_.pest_database->GetPestById(pest_id, record.Put());
    Sleep(1);
    BSTR category = nullptr;
    if (FAILED(found) || !record || FAILED(record->get_bsCategory(&category)) ||
        category == nullptr)
        return Text(IDS_UNKNOWN);
    const std::string text = AnsiOf(category);
    SysFreeString(category);
    return text;
}

bool CProtectionScannerCallback::IsProcess(BSTR location) const {
    VARIANT_BOOL process = VARIANT_FALSE;
    return SUCCEEDED(objects_.location->IsProcess(&process)) && IsTrue(process);
}

std::int32_t CProtectionScannerCallback::PvtOf(BSTR location) const {
    long pvt = 0;
    if (FAILED(objects_.pest_database->GetPVTByLocation(location, &pvt)))
        return 0;
    return static_cast<std::int32_t>(pvt);
}

void CProtectionScannerCallback::Log(std::int32_t pest_id, const std::string& location,
                                     const char* action, std::int32_t pvt) const {
    std::string path;
    if (!app_.GetActivityLogPath(path))
        return;
    CLogFile log;
    log.SetPath(path);
    log.WriteEntry(pest_id, location, GetPestName(pest_id), action, GetPestCategory(pest_id), pvt);
    Sleep(1);
}

bool CProtectionScannerCallback::Remove(std::int32_t pest_id, BSTR location) const {
    objects_.exterminator->put_vbQuarantineCookies(VARIANT_FALSE);
    VARIANT_BOOL removed = VARIANT_FALSE;
    // The exterminator keeps what it removes in its quarantine session.
    const HRESULT result =
        objects_.exterminator->ExterminatePest(pest_id, location, VARIANT_FALSE, &removed);
    Sleep(1);
    return SUCCEEDED(result) && IsTrue(removed);
}

bool CProtectionScannerCallback::Exclude(std::int32_t pest_id, const std::string& location,
                                         std::int32_t pvt) const {
    com::ComPtr<IExcludedItem> item;
    if (FAILED(CoCreateInstance(CLSID_ExcludedItem, nullptr,
                                CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_IExcludedItem,
                                item.PutVoid())) ||
        !item)
        return true;  // no item, no exclusion; the find is still reported
    const OwnedBstr id_name("PestId");
    const OwnedBstr id(std::to_string(pest_id));
    const OwnedBstr name_name("PestName");
    const OwnedBstr name(GetPestName(pest_id));
    item->SetAttributeValue(id_name.get(), id.get());
    item->SetAttributeValue(name_name.get(), name.get());
    const OwnedBstr data(app_.data_folder());
    bool ready = false;
    for (int attempt = 0; attempt < kExcluderAttempts && !ready; ++attempt) {
        VARIANT_BOOL initialized = VARIANT_FALSE;
        objects_.excluder->Initialize(data.get(), &initialized);
        // Any non-zero answer counts.
        ready = initialized != VARIANT_FALSE;
        if (!ready)
            Sleep(kExcluderSleepMs);
    }
    if (!ready) {
        BSTR error = nullptr;
        objects_.excluder->get_bsLastError(&error);
        ShowProtectionMessageText(
            ui::FillInTexts(ui::LoadText(IDS_EXCLUDER_INIT_FAILED), {ui::FromAnsi(AnsiOf(error))}));
        SysFreeString(error);
        return false;
    }
    VARIANT_BOOL added = VARIANT_FALSE;
    const HRESULT result = objects_.excluder->AddExclusion(item.Get(), &added);
    Sleep(1);
    if (SUCCEEDED(result) && IsTrue(added))
        Log(pest_id, location, Text(IDS_ACTION_EXCLUDED).c_str(), pvt);
    return true;
}

void CProtectionScannerCallback::Report(std::int32_t pest_id, const std::string& location) const {
    CProxySettings proxy = app_.proxy_settings();
    const CPrevalenceReporter reporter;
    reporter.ReportPest(app_.machine_id(), pest_id, -1, GetPestName(pest_id), false, location,
                        &proxy);
    Sleep(1);
}

HRESULT STDMETHODCALLTYPE CProtectionScannerCallback::PestDetected(long pest_id, BSTR location) {
    Sleep(1);
    const std::string text = AnsiOf(location);
    objects_.location->SetString(location);
    Sleep(1);
    DetectionCase find;
    find.restricted = app_.restricted();
    find.prevalence_research = app_.prevalence_research() != 0;
    // Taken once, before anything is removed: afterwards the file is gone.
    const std::int32_t pvt = find.restricted ? 0 : PvtOf(location);
    find.in_memory = IsProcess(location);
    const auto id = static_cast<std::int32_t>(pest_id);

    std::vector<DetectionStep> steps = DetectionSteps(find);
    for (std::size_t i = 0; i < steps.size(); ++i) {
        switch (steps[i]) {
            case DetectionStep::kLogDetected:
                Log(id, text, Text(IDS_ACTION_DETECTED).c_str(), pvt);
                break;
            case DetectionStep::kMarkMemoryFind:
                app_.memory_find = 1;
                break;
            case DetectionStep::kShowUserAlert: {
                CPestFoundUserDlg alert(ui::FromAnsi(GetPestName(id)), ui::FromAnsi(text));
                alert.RunModal(nullptr);
                Sleep(1);
                break;
            }
            case DetectionStep::kShowAlert: {
                CPestFoundDlg alert(ui::FromAnsi(GetPestName(id)), ui::FromAnsi(text));
                // Escape and a close count as Exclude.
                find.answer = alert.RunModal(nullptr) == IDOK ? AlertAnswer::kQuarantine
                                                              : AlertAnswer::kExclude;
                steps = DetectionSteps(find);
                break;
            }
            case DetectionStep::kQuarantine:
                if (Remove(id, location))
                    Log(id, text, Text(IDS_ACTION_QUARANTINED).c_str(), pvt);
                break;
            case DetectionStep::kExclude:
                if (!Exclude(id, text, pvt)) {
                    Sleep(1);
                    return S_OK;  // not excluded: not reported either
                }
                break;
            case DetectionStep::kDelete:
                if (Remove(id, location))
                    Log(id, text, Text(IDS_ACTION_DELETED).c_str(), pvt);
                break;
            case DetectionStep::kReport:
                Report(id, text);
                break;
        }
    }
    Sleep(1);
    return S_OK;
}

}  // namespace olvex::protect
