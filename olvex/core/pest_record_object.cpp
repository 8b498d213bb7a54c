#include "olvex/core/pest_record_object.h"

namespace olvex {

HRESULT STDMETHODCALLTYPE CPestRecord::get_nPvt(LONG* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPestRecord::put_nPvt(LONG value) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPestRecord::get_nId(LONG* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPestRecord::put_nId(LONG value) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPestRecord::get_bsName(BSTR* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPestRecord::put_bsName(BSTR value) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPestRecord::get_bsAuthor(BSTR* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPestRecord::put_bsAuthor(BSTR value) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPestRecord::get_bsDescription(BSTR* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPestRecord::put_bsDescription(BSTR value) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPestRecord::get_bsCategory(BSTR* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPestRecord::put_bsCategory(BSTR value) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPestRecord::get_bsReleaseDate(BSTR* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPestRecord::put_bsReleaseDate(BSTR value) {
    return E_NOTIMPL;
}

}  // namespace olvex
