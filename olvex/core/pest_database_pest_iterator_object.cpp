#include "olvex/core/pest_database_pest_iterator_object.h"

namespace olvex {

HRESULT STDMETHODCALLTYPE CPestDatabasePestIterator::GetValue(IPestRecord** ppRetVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPestDatabasePestIterator::Next(IPestDatabasePestIterator** ppRetVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPestDatabasePestIterator::Equals(IPestDatabasePestIterator* pRValue,
                                                            VARIANT_BOOL* pvbRetVal) {
    return E_NOTIMPL;
}

}  // namespace olvex
