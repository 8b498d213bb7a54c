// Walks the pests of the pest database.
// COM class PestDatabasePestIterator, default interface IPestDatabasePestIterator.
#pragma once

#include <mutex>

#include "olvex/com/com_object.h"
#include "olvex/com/com_ptr.h"
#include "olvex/core/dat_cursor.h"
#include "olvex/olvex.h"

namespace olvex {

class CPestDatabasePestIterator final
    : public com::DispatchObject<CPestDatabasePestIterator, IPestDatabasePestIterator> {
  public:
    // Asked of QueryInterface, gives this class itself: how the engine tells
    // its own iterators (whose cursors it can compare) from others.
    static const IID kImplementationId;

    // The cursor it walks (the end cursor until set).
    void Start(DatCursor cursor);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;

    // IPestDatabasePestIterator, in virtual-table order.
    HRESULT STDMETHODCALLTYPE GetValue(IPestRecord** ppRetVal) override;
    HRESULT STDMETHODCALLTYPE Next(IPestDatabasePestIterator** ppRetVal) override;
    HRESULT STDMETHODCALLTYPE Equals(IPestDatabasePestIterator* pRValue,
                                     VARIANT_BOOL* pvbRetVal) override;

  private:
    DatCursor Cursor() const;

    mutable std::mutex mutex_;
    DatCursor cursor_;
};

// The engine's own object behind an interface pointer, with a reference;
// empty for anything else.
template <class T>
com::ComPtr<T> EngineImplementation(IUnknown* object) {
    T* implementation = nullptr;
    if (object && SUCCEEDED(object->QueryInterface(T::kImplementationId,
                                                   reinterpret_cast<void**>(&implementation))))
        return com::ComPtr<T>::Adopt(implementation);
    return {};
}

}  // namespace olvex
