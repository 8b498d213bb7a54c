#include "client/cli/scanner_callback.h"

namespace olvex {

HRESULT STDMETHODCALLTYPE CCommandLineScannerCallback::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IScannerCallback)) {
        *object = static_cast<IScannerCallback*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CCommandLineScannerCallback::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
}

ULONG STDMETHODCALLTYPE CCommandLineScannerCallback::Release() {
    // Embedded in the application, which outlives every scan: never freed here.
    const LONG left = InterlockedDecrement(&references_);
    return static_cast<ULONG>(left > 0 ? left : 0);
}

HRESULT STDMETHODCALLTYPE CCommandLineScannerCallback::PestDetected(long pest_id, BSTR location) {
    handler_.OnPestDetected(pest_id, location);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE
CCommandLineScannerCallback::ShouldScanContinue(VARIANT_BOOL* continue_scan) {
    if (continue_scan == nullptr)
        return E_POINTER;
    *continue_scan = VARIANT_TRUE;
    return S_OK;
}

}  // namespace olvex
