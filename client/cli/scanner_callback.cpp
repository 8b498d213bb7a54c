#include "client/cli/scanner_callback.h"

namespace olvex {

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
