// Walks the pests of the pest database.
// COM class PestDatabasePestIterator, default interface IPestDatabasePestIterator.
#pragma once

#include "olvex/com/com_object.h"
#include "olvex/olvex.h"

namespace olvex {

class CPestDatabasePestIterator final
    : public com::DispatchObject<CPestDatabasePestIterator, IPestDatabasePestIterator> {
  public:
    // IPestDatabasePestIterator, in virtual-table order.
    HRESULT STDMETHODCALLTYPE GetValue(IPestRecord** ppRetVal) override;
    HRESULT STDMETHODCALLTYPE Next(IPestDatabasePestIterator** ppRetVal) override;
    HRESULT STDMETHODCALLTYPE Equals(IPestDatabasePestIterator* pRValue,
                                     VARIANT_BOOL* pvbRetVal) override;
};

}  // namespace olvex
