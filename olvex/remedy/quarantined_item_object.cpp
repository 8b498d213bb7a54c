#include "olvex/remedy/quarantined_item_object.h"

namespace olvex {

HRESULT STDMETHODCALLTYPE CQuarantinedItem::get_bsLocation(BSTR* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CQuarantinedItem::put_bsLocation(BSTR value) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CQuarantinedItem::get_nRecordId(LONG* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CQuarantinedItem::put_nRecordId(LONG value) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CQuarantinedItem::get_nPestId(LONG* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CQuarantinedItem::put_nPestId(LONG value) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CQuarantinedItem::get_bsContainerFile(BSTR* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CQuarantinedItem::put_bsContainerFile(BSTR value) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CQuarantinedItem::get_dQuarantineDate(DATE* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CQuarantinedItem::put_dQuarantineDate(DATE value) {
    return E_NOTIMPL;
}

}  // namespace olvex
