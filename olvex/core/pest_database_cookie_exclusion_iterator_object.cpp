#include "olvex/core/pest_database_cookie_exclusion_iterator_object.h"

namespace olvex {

HRESULT STDMETHODCALLTYPE CPestDatabaseCookieExclusionIterator::GetValue(LONG* pPestID,
                                                                         BSTR* pbsLocation) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE
CPestDatabaseCookieExclusionIterator::Next(IPestDatabaseCookieExclusionIterator** ppRetVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPestDatabaseCookieExclusionIterator::Equals(
    IPestDatabaseCookieExclusionIterator* pRValue, VARIANT_BOOL* pvbRetVal) {
    return E_NOTIMPL;
}

}  // namespace olvex
