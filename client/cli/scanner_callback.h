// The command-line scanner's sink for the engine's scan events. It lives
// inside the application, so its reference count never frees it; it hands
// every detection to the application and never stops a scan.
#pragma once

#include <windows.h>

#include "olvex/olvex.h"

namespace olvex {

class DetectionHandler {
  public:
    virtual ~DetectionHandler() = default;
    virtual void OnPestDetected(long pest_id, BSTR location) = 0;
};

class CCommandLineScannerCallback final : public IScannerCallback {
  public:
    explicit CCommandLineScannerCallback(DetectionHandler& handler) : handler_(handler) {}
    virtual ~CCommandLineScannerCallback() = default;
    CCommandLineScannerCallback(const CCommandLineScannerCallback&) = delete;
    CCommandLineScannerCallback& operator=(const CCommandLineScannerCallback&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE ScanComplete() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ScanAborted(BSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE FinishedItem(BSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE StartingItem(BSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PestDetected(long pest_id, BSTR location) override;
    HRESULT STDMETHODCALLTYPE ShouldScanContinue(VARIANT_BOOL* continue_scan) override;
    HRESULT STDMETHODCALLTYPE VerboseInformation(BSTR) override { return S_OK; }

  private:
    DetectionHandler& handler_;
    LONG references_ = 1;
};

}  // namespace olvex
