#include "olvex/core/excluded_item_object.h"

namespace olvex {

HRESULT STDMETHODCALLTYPE CExcludedItem::SetString(BSTR bsLocationString) {
    return list_.SetString(bsLocationString);
}

HRESULT STDMETHODCALLTYPE CExcludedItem::GetAttributeValue(BSTR bsAttributeName, BSTR* pbsValue) {
    return list_.GetAttributeValue(bsAttributeName, pbsValue);
}

HRESULT STDMETHODCALLTYPE CExcludedItem::SetAttributeValue(BSTR bsAttributeName, BSTR bsValue) {
    return list_.SetAttributeValue(bsAttributeName, bsValue);
}

HRESULT STDMETHODCALLTYPE CExcludedItem::GetString(BSTR* bsString) {
    return list_.GetString(bsString);
}

HRESULT STDMETHODCALLTYPE CExcludedItem::Clear() {
    list_.Clear();
    return S_OK;
}

}  // namespace olvex
