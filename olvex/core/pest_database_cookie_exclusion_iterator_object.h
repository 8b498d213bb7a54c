// The pest database's cookie-exclusion iterator.
// COM class PestDatabaseCookieExclusionIterator, default interface
// IPestDatabaseCookieExclusionIterator.
#pragma once

#include "olvex/com/com_object.h"
#include "olvex/olvex.h"

namespace olvex {

class CPestDatabaseCookieExclusionIterator final
    : public com::DispatchObject<CPestDatabaseCookieExclusionIterator,
                                 IPestDatabaseCookieExclusionIterator> {
  public:
    // IPestDatabaseCookieExclusionIterator, in virtual-table order.
    HRESULT STDMETHODCALLTYPE GetValue(LONG* pPestID, BSTR* pbsLocation) override;
    HRESULT STDMETHODCALLTYPE Next(IPestDatabaseCookieExclusionIterator** ppRetVal) override;
    HRESULT STDMETHODCALLTYPE Equals(IPestDatabaseCookieExclusionIterator* pRValue,
                                     VARIANT_BOOL* pvbRetVal) override;
};

}  // namespace olvex
