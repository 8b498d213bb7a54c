// Walks the common locations of the pest database.
// COM class PestDatabaseLocationIterator, default interface IPestDatabaseLocationIterator.
#pragma once

#include "olvex/com/com_object.h"
#include "olvex/olvex.h"

namespace olvex {

class CPestDatabaseLocationIterator final
    : public com::DispatchObject<CPestDatabaseLocationIterator, IPestDatabaseLocationIterator> {
  public:
    // IPestDatabaseLocationIterator, in virtual-table order.
    HRESULT STDMETHODCALLTYPE GetValue(LONG* pPestID, BSTR* pbsLocation) override;
    HRESULT STDMETHODCALLTYPE Next(IPestDatabaseLocationIterator** ppRetVal) override;
    HRESULT STDMETHODCALLTYPE Equals(IPestDatabaseLocationIterator* pRValue,
                                     VARIANT_BOOL* pvbRetVal) override;
};

}  // namespace olvex
