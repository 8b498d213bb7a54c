#include "client/main/scanner_callback.h"

#include "client/main/gorsewatch5_app.h"

namespace olvex {

HRESULT STDMETHODCALLTYPE CScannerCallback::QueryInterface(REFIID iid, void** object) {
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

ULONG STDMETHODCALLTYPE CScannerCallback::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
}

ULONG STDMETHODCALLTYPE CScannerCallback::Release() {
    // A member of the application, which outlives every scan: never freed here.
    return static_cast<ULONG>(InterlockedDecrement(&references_));
}

HRESULT STDMETHODCALLTYPE CScannerCallback::ShouldScanContinue(VARIANT_BOOL* continue_scan) {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    if (app != nullptr && continue_scan != nullptr)
        *continue_scan = app->continue_scan();
    return S_OK;
}

}  // namespace olvex
