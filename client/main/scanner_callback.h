// `CScannerCallback`, the sink through which the engine's scanner reports
// to the main program. The application owns it for its whole life and hands
// it to the scanner at start-up, so its counting never frees it. It tells
// the scanner whether the user has stopped the scan; what a detection and a
// scanned item do to the Scan dialog comes with that dialog.
#pragma once

#include <windows.h>

#include "olvex/olvex.h"

namespace olvex {

class CScannerCallback final : public IScannerCallback {
  public:
    CScannerCallback() = default;
    virtual ~CScannerCallback() = default;
    CScannerCallback(const CScannerCallback&) = delete;
    CScannerCallback& operator=(const CScannerCallback&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE ScanComplete() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ScanAborted(BSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE FinishedItem(BSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE StartingItem(BSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PestDetected(long, BSTR) override { return S_OK; }
    // The application's continue flag; nothing is written without one.
    HRESULT STDMETHODCALLTYPE ShouldScanContinue(VARIANT_BOOL* continue_scan) override;
    HRESULT STDMETHODCALLTYPE VerboseInformation(BSTR) override { return S_OK; }

  private:
    LONG references_ = 0;
};

}  // namespace olvex
