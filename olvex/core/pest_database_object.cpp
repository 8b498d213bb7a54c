#include "olvex/core/pest_database_object.h"

namespace olvex {

HRESULT STDMETHODCALLTYPE CPestDatabase::GetPestById(LONG nPestId, IPestRecord** ppPestRecord) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPestDatabase::GetFirstPest(IPestRecord** ppPest) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPestDatabase::GetNextPest(IPestRecord** ppPest) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPestDatabase::GetFirstCommonLocation(LONG* pnPestId, BSTR* pbsLocation) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPestDatabase::GetNextCommonLocation(LONG* pnPestId, BSTR* pbsLocation) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPestDatabase::IsInitialized(VARIANT_BOOL* pvbInitialized) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPestDatabase::Initialize(BSTR bsDatFolder, VARIANT_BOOL* pvbSuccess) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPestDatabase::get_bsLastError(BSTR* pVal) {
    return last_error_.GetText(pVal);
}

HRESULT STDMETHODCALLTYPE CPestDatabase::put_bsLastError(BSTR value) {
    return last_error_.PutText(value);
}

HRESULT STDMETHODCALLTYPE CPestDatabase::GetPestRisk(LONG nPestId, BSTR* pbsRisk) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPestDatabase::GetPestAdvice(LONG nPestId, BSTR* pbsAdvice) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPestDatabase::GetPestThreat(LONG nPestId, BSTR* pbsThreat) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPestDatabase::get_bsLanguage(BSTR* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPestDatabase::put_bsLanguage(BSTR value) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPestDatabase::get_nLastError(LONG* pVal) {
    return last_error_.GetCode(pVal);
}

HRESULT STDMETHODCALLTYPE CPestDatabase::GetFirstCookieExclusion(LONG* pnPestId,
                                                                 BSTR* pbsLocation) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPestDatabase::GetNextCookieExclusion(LONG* pnPestId, BSTR* pbsLocation) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPestDatabase::GetPVTByLocation(BSTR bsLocation, LONG* plPvt) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE
CPestDatabase::GetFirstLocationIterator(IPestDatabaseLocationIterator** ppIter) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE
CPestDatabase::GetEndLocationIterator(IPestDatabaseLocationIterator** ppIter) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPestDatabase::GetFirstPestIterator(IPestDatabasePestIterator** ppIter) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPestDatabase::GetEndPestIterator(IPestDatabasePestIterator** ppIter) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE
CPestDatabase::GetFirstCookieExclusionIterator(IPestDatabaseCookieExclusionIterator** ppIter) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE
CPestDatabase::GetEndCookieExclusionIterator(IPestDatabaseCookieExclusionIterator** ppIter) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPestDatabase::GetMD5ByLocation(BSTR bsLocation, BSTR* pbsMD5) {
    return E_NOTIMPL;
}

}  // namespace olvex
