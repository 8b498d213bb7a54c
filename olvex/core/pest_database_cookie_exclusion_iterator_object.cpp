#include "olvex/core/pest_database_cookie_exclusion_iterator_object.h"

namespace olvex {

// The definitions hold no cookie exclusions to walk: the iterator answers
// pest 0 and never moves.

HRESULT STDMETHODCALLTYPE CPestDatabaseCookieExclusionIterator::GetValue(LONG* pPestID,
                                                                         BSTR* pbsLocation) {
    if (!pPestID)
        return E_POINTER;
    *pPestID = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE
CPestDatabaseCookieExclusionIterator::Next(IPestDatabaseCookieExclusionIterator** ppRetVal) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CPestDatabaseCookieExclusionIterator::Equals(
    IPestDatabaseCookieExclusionIterator* pRValue, VARIANT_BOOL* pvbRetVal) {
    if (!pvbRetVal)
        return E_POINTER;
    *pvbRetVal = VARIANT_FALSE;
    return S_OK;
}

}  // namespace olvex
