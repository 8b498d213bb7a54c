#include "olvex/core/log_entry_object.h"

namespace olvex {

HRESULT STDMETHODCALLTYPE CLogEntry::SetString(BSTR bsLocationString) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CLogEntry::GetAttributeValue(BSTR bsAttributeName, BSTR* pbsValue) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CLogEntry::SetAttributeValue(BSTR bsAttributeName, BSTR bsValue) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CLogEntry::GetString(BSTR* bsString) {
    return E_NOTIMPL;
}

}  // namespace olvex
