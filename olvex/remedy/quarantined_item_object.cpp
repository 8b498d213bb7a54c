#include "olvex/remedy/quarantined_item_object.h"

namespace olvex {
namespace {

// A copy of a BSTR, null for null.
HRESULT CopyOut(const com::UniqueBstr& held, BSTR* out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!held.Get())
        return S_OK;
    *out = SysAllocStringLen(held.Get(), SysStringLen(held.Get()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT CopyIn(BSTR value, com::UniqueBstr& held) {
    if (!value) {
        held = com::UniqueBstr();
        return S_OK;
    }
    com::UniqueBstr copy(SysAllocStringLen(value, SysStringLen(value)));
    if (!copy.Get())
        return E_OUTOFMEMORY;
    held = std::move(copy);
    return S_OK;
}

template <class T>
HRESULT ValueOut(T value, T* out) {
    if (!out)
        return E_POINTER;
    *out = value;
    return S_OK;
}

}  // namespace

HRESULT STDMETHODCALLTYPE CQuarantinedItem::get_bsLocation(BSTR* pVal) {
    return CopyOut(location_, pVal);
}

HRESULT STDMETHODCALLTYPE CQuarantinedItem::put_bsLocation(BSTR value) {
    return CopyIn(value, location_);
}

HRESULT STDMETHODCALLTYPE CQuarantinedItem::get_nRecordId(LONG* pVal) {
    return ValueOut(record_id_, pVal);
}

HRESULT STDMETHODCALLTYPE CQuarantinedItem::put_nRecordId(LONG value) {
    record_id_ = value;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CQuarantinedItem::get_nPestId(LONG* pVal) {
    return ValueOut(pest_id_, pVal);
}

HRESULT STDMETHODCALLTYPE CQuarantinedItem::put_nPestId(LONG value) {
    pest_id_ = value;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CQuarantinedItem::get_bsContainerFile(BSTR* pVal) {
    return CopyOut(container_file_, pVal);
}

HRESULT STDMETHODCALLTYPE CQuarantinedItem::put_bsContainerFile(BSTR value) {
    return CopyIn(value, container_file_);
}

HRESULT STDMETHODCALLTYPE CQuarantinedItem::get_dQuarantineDate(DATE* pVal) {
    return ValueOut(quarantine_date_, pVal);
}

HRESULT STDMETHODCALLTYPE CQuarantinedItem::put_dQuarantineDate(DATE value) {
    quarantine_date_ = value;
    return S_OK;
}

}  // namespace olvex
