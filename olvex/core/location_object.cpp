#include "olvex/core/location_object.h"

namespace olvex {

HRESULT STDMETHODCALLTYPE CLocation::SetString(BSTR bsLocationString) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CLocation::GetAttributeValue(BSTR bsAttributeName, BSTR* pbsValue) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CLocation::IsExclusion(VARIANT_BOOL* pvbExclusion) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CLocation::IsFile(VARIANT_BOOL* pvbFile) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CLocation::IsRegistryItem(VARIANT_BOOL* pvbRegistryItem) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CLocation::IsCookie(VARIANT_BOOL* pvbCookie) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CLocation::IsFolder(VARIANT_BOOL* pvbFolder) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CLocation::IsProcess(VARIANT_BOOL* pvbProcess) {
    return E_NOTIMPL;
}

}  // namespace olvex
