#include "olvex/core/log_entry_object.h"

namespace olvex {

HRESULT STDMETHODCALLTYPE CLogEntry::SetString(BSTR bsLocationString) {
    return list_.SetString(bsLocationString);
}

HRESULT STDMETHODCALLTYPE CLogEntry::GetAttributeValue(BSTR bsAttributeName, BSTR* pbsValue) {
    return list_.GetAttributeValue(bsAttributeName, pbsValue);
}

HRESULT STDMETHODCALLTYPE CLogEntry::SetAttributeValue(BSTR bsAttributeName, BSTR bsValue) {
    return list_.SetAttributeValue(bsAttributeName, bsValue);
}

HRESULT STDMETHODCALLTYPE CLogEntry::GetString(BSTR* bsString) {
    return list_.GetString(bsString);
}

}  // namespace olvex
