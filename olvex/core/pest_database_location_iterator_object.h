// Walks the common locations of the pest database: cookies, then registry
// keys, then files and folders.
// COM class PestDatabaseLocationIterator, default interface IPestDatabaseLocationIterator.
#pragma once

#include <mutex>

#include "olvex/com/com_object.h"
#include "olvex/core/dat_cursor.h"
#include "olvex/olvex.h"

namespace olvex {

class CPestDatabaseLocationIterator final
    : public com::DispatchObject<CPestDatabaseLocationIterator, IPestDatabaseLocationIterator> {
  public:
    // See CPestDatabasePestIterator::kImplementationId.
    static const IID kImplementationId;

    // The walk it follows (the end walk until set).
    void Start(DatLocationWalk walk);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;

    // IPestDatabaseLocationIterator, in virtual-table order.
    HRESULT STDMETHODCALLTYPE GetValue(LONG* pPestID, BSTR* pbsLocation) override;
    HRESULT STDMETHODCALLTYPE Next(IPestDatabaseLocationIterator** ppRetVal) override;
    HRESULT STDMETHODCALLTYPE Equals(IPestDatabaseLocationIterator* pRValue,
                                     VARIANT_BOOL* pvbRetVal) override;

  private:
    DatLocationWalk Walk() const;

    mutable std::mutex mutex_;
    DatLocationWalk walk_;
};

}  // namespace olvex
