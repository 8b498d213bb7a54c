#include "olvex/remedy/quarantine_object.h"

namespace olvex {

HRESULT STDMETHODCALLTYPE
CQuarantine::GetFirstQuarantinedItem(IQuarantinedItem** pQuarantinedItem) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CQuarantine::GetNextQuarantinedItem(IQuarantinedItem** pQuarantinedItem) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CQuarantine::UnquarantineItem(IQuarantinedItem* pQuarantinedItem,
                                                        VARIANT_BOOL* pvbSuccess) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CQuarantine::Q4(LONG nPestId, BSTR bsLocation, VARIANT_BOOL* pvbSuccess) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CQuarantine::get_bsQuarantineFolder(BSTR* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CQuarantine::get_bsLastError(BSTR* pVal) {
    return last_error_.GetText(pVal);
}

HRESULT STDMETHODCALLTYPE CQuarantine::put_bsLastError(BSTR value) {
    return last_error_.PutText(value);
}

HRESULT STDMETHODCALLTYPE CQuarantine::Initialize(BSTR bsQuarantineFolder,
                                                  VARIANT_BOOL* pvbSuccess) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CQuarantine::IsInitialized(VARIANT_BOOL* pvbInitialized) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CQuarantine::DeleteQuarantinedItem(IQuarantinedItem* pQuarantinedItem,
                                                             VARIANT_BOOL* pvbSuccess) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CQuarantine::get_vbAllowDuplicates(VARIANT_BOOL* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CQuarantine::put_vbAllowDuplicates(VARIANT_BOOL value) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CQuarantine::DeleteAllItems(LONG* pnItemsRemoved) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CQuarantine::get_vbLogEnabled(VARIANT_BOOL* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CQuarantine::put_vbLogEnabled(VARIANT_BOOL value) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CQuarantine::AddItemToSession(LONG nPestId, BSTR bsLocation,
                                                        BSTR bsSessionFileName,
                                                        VARIANT_BOOL* pvbSuccess) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE
CQuarantine::GetFirstQuarantineSession(IQuarantineSession** ppQuarantineSession) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE
CQuarantine::GetNextQuarantineSession(IQuarantineSession** ppQuarantineSession) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CQuarantine::RestoreQuarantineSession(
    IQuarantineSession* ppQuarantineSession, VARIANT_BOOL* pvbSuccess) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CQuarantine::DeleteQuarantineSession(
    IQuarantineSession* pQuarantineSession, VARIANT_BOOL* pvbSuccess) {
    return E_NOTIMPL;
}

}  // namespace olvex
