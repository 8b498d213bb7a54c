// `CProtectionScannerCallback`: the background scan's sink for the engine's
// scan events. It decides on the spot what happens to each find
// (detection_decision.h): the activity log, the alert for a pest running in
// memory with its Quarantine or Exclude, the removal of any other find, and
// the prevalence report. It makes the scan give way within 250 ms of a
// foreground scan starting, and yields the processor after every item.
//
// It lives on the heap: the worker holds one counted reference and lets go
// of it when it ends, so a QueryInterface/Release pair by the engine never
// frees it early. It holds its own references to the engine objects it
// uses, released when it goes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "client/common/scanner_callback_base.h"
#include "client/protect/background_pass.h"
#include "olvex/com/com_ptr.h"
#include "olvex/olvex.h"

namespace olvex::protect {

class CWakenorApp;

struct DetectionObjects {
    com::ComPtr<IPestDatabase> pest_database;
    com::ComPtr<IExterminator> exterminator;
    com::ComPtr<IExcluder> excluder;
    com::ComPtr<ILocation> location;
};

class CProtectionScannerCallback final
    : public ScannerCallbackBase<CProtectionScannerCallback, SinkLifetime::kCounted> {
  public:
    // A new sink with one reference, the caller's.
    static com::ComPtr<CProtectionScannerCallback> Create(CWakenorApp& app,
                                                          DetectionObjects objects);

    HRESULT STDMETHODCALLTYPE StartingItem(BSTR location) override;
    HRESULT STDMETHODCALLTYPE PestDetected(long pest_id, BSTR location) override;
    HRESULT STDMETHODCALLTYPE ShouldScanContinue(VARIANT_BOOL* continue_scan) override;

    const DetectionObjects& objects() const { return objects_; }

    // "Unknown" when the database has no record of the pest.
    std::string GetPestName(std::int32_t pest_id) const;
    std::string GetPestCategory(std::int32_t pest_id) const;

  private:
    friend ScannerCallbackBase;  // frees it at its last Release

    CProtectionScannerCallback(CWakenorApp& app, DetectionObjects objects);
    ~CProtectionScannerCallback() = default;

    bool IsProcess(BSTR location) const;
    std::int32_t PvtOf(BSTR location) const;
    void Log(std::int32_t pest_id, const std::string& location, const char* action,
             std::int32_t pvt) const;
    bool Remove(std::int32_t pest_id, BSTR location) const;
    // False when the excluder could not be readied (the find is then not
    // reported either).
    bool Exclude(std::int32_t pest_id, const std::string& location, std::int32_t pvt) const;
    void Report(std::int32_t pest_id, const std::string& location) const;

    CWakenorApp& app_;
    DetectionObjects objects_;
    ForegroundCheckThrottle foreground_check_;
};

}  // namespace olvex::protect
