#include "olvex/core/pest_record_object.h"

#include "olvex/com/bstr.h"
#include "olvex/com/com_ptr.h"
#include "olvex/com/engine_class.h"

namespace olvex {

HRESULT CPestRecord::GetNumber(const LONG& field, LONG* out) const {
    if (!out)
        return E_POINTER;
    std::lock_guard lock(mutex_);
    *out = field;
    return S_OK;
}

HRESULT CPestRecord::PutNumber(LONG& field, LONG value) {
    std::lock_guard lock(mutex_);
    field = value;
    return S_OK;
}

HRESULT CPestRecord::GetText(const Text& field, BSTR* out) const {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    std::lock_guard lock(mutex_);
    if (!field)
        return S_OK;
    *out = SysAllocStringLen(field->data(), static_cast<UINT>(field->size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT CPestRecord::PutText(Text& field, BSTR value) {
    return com::Guarded([&]() -> HRESULT {
        Text text;
        if (value)
            text.emplace(value, SysStringLen(value));
        std::lock_guard lock(mutex_);
        field = std::move(text);
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CPestRecord::get_nPvt(LONG* pVal) {
    return GetNumber(pvt_, pVal);
}

HRESULT STDMETHODCALLTYPE CPestRecord::put_nPvt(LONG value) {
    return PutNumber(pvt_, value);
}

HRESULT STDMETHODCALLTYPE CPestRecord::get_nId(LONG* pVal) {
    return GetNumber(id_, pVal);
}

HRESULT STDMETHODCALLTYPE CPestRecord::put_nId(LONG value) {
    return PutNumber(id_, value);
}

HRESULT STDMETHODCALLTYPE CPestRecord::get_bsName(BSTR* pVal) {
    return GetText(name_, pVal);
}

HRESULT STDMETHODCALLTYPE CPestRecord::put_bsName(BSTR value) {
    return PutText(name_, value);
}

HRESULT STDMETHODCALLTYPE CPestRecord::get_bsAuthor(BSTR* pVal) {
    return GetText(author_, pVal);
}

HRESULT STDMETHODCALLTYPE CPestRecord::put_bsAuthor(BSTR value) {
    return PutText(author_, value);
}

HRESULT STDMETHODCALLTYPE CPestRecord::get_bsDescription(BSTR* pVal) {
    return GetText(description_, pVal);
}

HRESULT STDMETHODCALLTYPE CPestRecord::put_bsDescription(BSTR value) {
    return PutText(description_, value);
}

HRESULT STDMETHODCALLTYPE CPestRecord::get_bsCategory(BSTR* pVal) {
    return GetText(category_, pVal);
}

HRESULT STDMETHODCALLTYPE CPestRecord::put_bsCategory(BSTR value) {
    return PutText(category_, value);
}

HRESULT STDMETHODCALLTYPE CPestRecord::get_bsReleaseDate(BSTR* pVal) {
    return GetText(release_date_, pVal);
}

HRESULT STDMETHODCALLTYPE CPestRecord::put_bsReleaseDate(BSTR value) {
    return PutText(release_date_, value);
}

HRESULT MakePestRecord(const DatPestEntry& pest, IPestRecord** record) {
    if (!record)
        return E_POINTER;
    *record = nullptr;
    com::ComPtr<IPestRecord> made;
    if (const HRESULT hr = com::CreateEngineObject(CLSID_PestRecord, made.Put()); FAILED(hr))
        return hr;
    com::UniqueBstr name;
    com::UniqueBstr category;
    com::UniqueBstr unknown;
    for (const auto& [text, bstr] : {std::pair{std::string_view(pest.name), &name},
                                     std::pair{std::string_view(pest.category), &category},
                                     std::pair{std::string_view("Unknown"), &unknown}}) {
        if (const HRESULT hr = com::BstrFromAnsi(text, bstr->Put()); FAILED(hr))
            return hr;
    }
    made->put_nId(pest.pest_id);
    made->put_bsName(name.Get());
    made->put_bsCategory(category.Get());
    made->put_bsAuthor(unknown.Get());
    made->put_bsDescription(unknown.Get());
    made->put_bsReleaseDate(unknown.Get());
    *record = made.Detach();
    return S_OK;
}

}  // namespace olvex
