// The command-line scanner's sink for the engine's scan events. It lives
// inside the application, so its reference count never frees it; it hands
// every detection to the application and never stops a scan.
#pragma once

#include <windows.h>

#include "client/common/scanner_callback_base.h"
#include "olvex/olvex.h"

namespace olvex {

class DetectionHandler {
  public:
    virtual ~DetectionHandler() = default;
    virtual void OnPestDetected(long pest_id, BSTR location) = 0;
};

class CCommandLineScannerCallback final
    : public ScannerCallbackBase<CCommandLineScannerCallback, SinkLifetime::kEmbedded> {
  public:
    explicit CCommandLineScannerCallback(DetectionHandler& handler)
        : ScannerCallbackBase(1), handler_(handler) {}
    virtual ~CCommandLineScannerCallback() = default;

    HRESULT STDMETHODCALLTYPE StartingItem(BSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PestDetected(long pest_id, BSTR location) override;
    HRESULT STDMETHODCALLTYPE ShouldScanContinue(VARIANT_BOOL* continue_scan) override;

  private:
    DetectionHandler& handler_;
};

}  // namespace olvex
