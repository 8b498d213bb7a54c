#include "olvex/core/pest_database_location_iterator_object.h"

namespace olvex {

HRESULT STDMETHODCALLTYPE CPestDatabaseLocationIterator::GetValue(LONG* pPestID,
                                                                  BSTR* pbsLocation) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE
CPestDatabaseLocationIterator::Next(IPestDatabaseLocationIterator** ppRetVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPestDatabaseLocationIterator::Equals(
    IPestDatabaseLocationIterator* pRValue, VARIANT_BOOL* pvbRetVal) {
    return E_NOTIMPL;
}

}  // namespace olvex
