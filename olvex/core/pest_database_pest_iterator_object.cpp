#include "olvex/core/pest_database_pest_iterator_object.h"

#include "olvex/com/bstr.h"
#include "olvex/core/pest_record_object.h"

namespace olvex {

// {3053D6A8-CC79-418D-86AB-172C0D56B2A0}
const IID CPestDatabasePestIterator::kImplementationId = {
    0x3053d6a8, 0xcc79, 0x418d, {0x86, 0xab, 0x17, 0x2c, 0x0d, 0x56, 0xb2, 0xa0}};

void CPestDatabasePestIterator::Start(DatCursor cursor) {
    std::lock_guard lock(mutex_);
    cursor_ = std::move(cursor);
}

DatCursor CPestDatabasePestIterator::Cursor() const {
    std::lock_guard lock(mutex_);
    return cursor_;
}

HRESULT STDMETHODCALLTYPE CPestDatabasePestIterator::QueryInterface(REFIID riid, void** object) {
    if (object && IsEqualIID(riid, kImplementationId)) {
        *object = this;
        AddRef();
        return S_OK;
    }
    return DispatchObject::QueryInterface(riid, object);
}

HRESULT STDMETHODCALLTYPE CPestDatabasePestIterator::GetValue(IPestRecord** ppRetVal) {
    if (!ppRetVal)
        return E_POINTER;
    *ppRetVal = nullptr;
    return com::Guarded([&]() -> HRESULT {
        // At the end there is no pest to give.
        const auto pest = Cursor().GetPest();
        return pest ? MakePestRecord(*pest, ppRetVal) : E_FAIL;
    });
}

HRESULT STDMETHODCALLTYPE CPestDatabasePestIterator::Next(IPestDatabasePestIterator** ppRetVal) {
    {
        std::lock_guard lock(mutex_);
        cursor_.Advance();
    }
    if (ppRetVal) {
        *ppRetVal = this;
        AddRef();
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CPestDatabasePestIterator::Equals(IPestDatabasePestIterator* pRValue,
                                                            VARIANT_BOOL* pvbRetVal) {
    if (!pvbRetVal)
        return E_POINTER;
    *pvbRetVal = VARIANT_FALSE;
    return com::Guarded([&]() -> HRESULT {
        const auto other = EngineImplementation<CPestDatabasePestIterator>(pRValue);
        // Each side's cursor is read under its own lock alone, so two threads
        // comparing a with b and b with a cannot block each other.
        if (other)
            *pvbRetVal = com::ToVariantBool(Cursor() == other->Cursor());
        return S_OK;
    });
}

}  // namespace olvex
