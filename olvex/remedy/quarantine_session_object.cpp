#include "olvex/remedy/quarantine_session_object.h"

namespace olvex {

HRESULT STDMETHODCALLTYPE CQuarantineSession::Initialize(BSTR bsSessionFileName,
                                                         VARIANT_BOOL* vbSuccess) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CQuarantineSession::get_bsSessionFilePath(BSTR* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CQuarantineSession::IsInitialized(VARIANT_BOOL* pvbInitialized) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE
CQuarantineSession::GetFirstQuarantinedItem(IQuarantinedItem** ppQuarantinedItem) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE
CQuarantineSession::GetNextQuarantinedItem(IQuarantinedItem** ppQuarantinedItem) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CQuarantineSession::get_bsLastError(BSTR* pVal) {
    return last_error_.GetText(pVal);
}

HRESULT STDMETHODCALLTYPE CQuarantineSession::get_nSessionId(LONG* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CQuarantineSession::put_nSessionId(LONG value) {
    return E_NOTIMPL;
}

}  // namespace olvex
