#include "olvex/core/excluded_item_object.h"

namespace olvex {

HRESULT STDMETHODCALLTYPE CExcludedItem::SetString(BSTR bsLocationString) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CExcludedItem::GetAttributeValue(BSTR bsAttributeName, BSTR* pbsValue) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CExcludedItem::SetAttributeValue(BSTR bsAttributeName, BSTR bsValue) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CExcludedItem::GetString(BSTR* bsString) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CExcludedItem::Clear() {
    return E_NOTIMPL;
}

}  // namespace olvex
