#include "olvex/core/pest_database_location_iterator_object.h"

#include "olvex/com/bstr.h"
#include "olvex/core/pest_database_pest_iterator_object.h"

namespace olvex {

// {06EB8308-D672-492D-B501-09634FC54802}
const IID CPestDatabaseLocationIterator::kImplementationId = {
    0x06eb8308, 0xd672, 0x492d, {0xb5, 0x01, 0x09, 0x63, 0x4f, 0xc5, 0x48, 0x02}};

void CPestDatabaseLocationIterator::Start(DatLocationWalk walk) {
    std::lock_guard lock(mutex_);
    walk_ = std::move(walk);
}

DatLocationWalk CPestDatabaseLocationIterator::Walk() const {
    std::lock_guard lock(mutex_);
    return walk_;
}

HRESULT STDMETHODCALLTYPE CPestDatabaseLocationIterator::QueryInterface(REFIID riid,
                                                                        void** object) {
    if (object && IsEqualIID(riid, kImplementationId)) {
        *object = this;
        AddRef();
        return S_OK;
    }
    return DispatchObject::QueryInterface(riid, object);
}

HRESULT STDMETHODCALLTYPE CPestDatabaseLocationIterator::GetValue(LONG* pPestID,
                                                                  BSTR* pbsLocation) {
    if (!pPestID || !pbsLocation)
        return E_POINTER;
    return com::Guarded([&]() -> HRESULT {
        const auto entry = Walk().Value();
        if (!entry)
            return E_FAIL;  // past the last location
        com::UniqueBstr location;
        if (const HRESULT hr = com::BstrFromAnsi(entry->location, location.Put()); FAILED(hr))
            return hr;
        *pPestID = entry->pest_id;
        *pbsLocation = location.Release();
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE
CPestDatabaseLocationIterator::Next(IPestDatabaseLocationIterator** ppRetVal) {
    {
        std::lock_guard lock(mutex_);
        if (walk_.AtEnd())
            return E_FAIL;
        walk_.Next();
    }
    if (ppRetVal) {
        *ppRetVal = this;
        AddRef();
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CPestDatabaseLocationIterator::Equals(
    IPestDatabaseLocationIterator* pRValue, VARIANT_BOOL* pvbRetVal) {
    if (!pvbRetVal)
        return E_POINTER;
    *pvbRetVal = VARIANT_FALSE;
    return com::Guarded([&]() -> HRESULT {
        const auto other = EngineImplementation<CPestDatabaseLocationIterator>(pRValue);
        if (other)
            *pvbRetVal = com::ToVariantBool(Walk() == other->Walk());
        return S_OK;
    });
}

}  // namespace olvex
