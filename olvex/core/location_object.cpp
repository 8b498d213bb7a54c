#include "olvex/core/location_object.h"

#include <windows.h>

#include <string>

#include "olvex/com/bstr.h"
#include "olvex/core/ansi_code_page.h"

namespace olvex {

CLocation::CLocation() : location_(AnsiCodePageText()) {}

HRESULT STDMETHODCALLTYPE CLocation::SetString(BSTR bsLocationString) {
    return com::Guarded([&]() -> HRESULT {
        location_.Clear();
        std::string text;
        if (const HRESULT hr = com::AnsiFromBstr(bsLocationString, text); FAILED(hr)) {
            return hr;
        }
        if (location_.SetString(text)) {
            OutputDebugStringA("Maximum attribute/value pair count exceeded.");
        }
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CLocation::GetAttributeValue(BSTR bsAttributeName, BSTR* pbsValue) {
    if (!pbsValue) {
        return E_POINTER;
    }
    *pbsValue = nullptr;
    return com::Guarded([&]() -> HRESULT {
        std::string name;
        if (const HRESULT hr = com::AnsiFromBstr(bsAttributeName, name); FAILED(hr)) {
            return hr;
        }
        const auto value = location_.GetAttributeValue(name);
        return value ? com::BstrFromAnsi(*value, pbsValue) : S_OK;
    });
}

HRESULT CLocation::Answer(bool (Location::*question)() const, VARIANT_BOOL* answer) const {
    if (!answer) {
        return E_POINTER;
    }
    *answer = VARIANT_FALSE;
    return com::Guarded([&]() -> HRESULT {
        *answer = com::ToVariantBool((location_.*question)());
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CLocation::IsExclusion(VARIANT_BOOL* pvbExclusion) {
    return Answer(&Location::IsExclusion, pvbExclusion);
}

HRESULT STDMETHODCALLTYPE CLocation::IsFile(VARIANT_BOOL* pvbFile) {
    return Answer(&Location::IsFile, pvbFile);
}

HRESULT STDMETHODCALLTYPE CLocation::IsRegistryItem(VARIANT_BOOL* pvbRegistryItem) {
    return Answer(&Location::IsRegistryItem, pvbRegistryItem);
}

HRESULT STDMETHODCALLTYPE CLocation::IsCookie(VARIANT_BOOL* pvbCookie) {
    return Answer(&Location::IsCookie, pvbCookie);
}

HRESULT STDMETHODCALLTYPE CLocation::IsFolder(VARIANT_BOOL* pvbFolder) {
    return Answer(&Location::IsFolder, pvbFolder);
}

HRESULT STDMETHODCALLTYPE CLocation::IsProcess(VARIANT_BOOL* pvbProcess) {
    return Answer(&Location::IsProcess, pvbProcess);
}

}  // namespace olvex
