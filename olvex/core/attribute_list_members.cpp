#include "olvex/core/attribute_list_members.h"

#include <string>

#include "olvex/com/bstr.h"
#include "olvex/com/com_object.h"
#include "olvex/core/ansi_code_page.h"

namespace olvex {

AttributeListMembers::AttributeListMembers() : list_(AnsiCodePageText()) {}

HRESULT AttributeListMembers::SetString(BSTR text) {
    return com::Guarded([&]() -> HRESULT {
        list_.Clear();
        if (!text) {
            return S_OK;
        }
        std::string ansi;
        if (const HRESULT hr = com::AnsiFromBstr(text, ansi); FAILED(hr)) {
            return hr;
        }
        list_.SetString(ansi);
        return S_OK;
    });
}

HRESULT AttributeListMembers::GetAttributeValue(BSTR name, BSTR* value) const {
    if (!value) {
        return E_POINTER;
    }
    *value = nullptr;
    return com::Guarded([&]() -> HRESULT {
        std::string ansi_name;
        if (const HRESULT hr = com::AnsiFromBstr(name, ansi_name); FAILED(hr)) {
            return hr;
        }
        const auto found = list_.GetAttributeValue(ansi_name);
        return found ? com::BstrFromAnsi(*found, value) : S_OK;
    });
}

HRESULT AttributeListMembers::SetAttributeValue(BSTR name, BSTR value) {
    return com::Guarded([&]() -> HRESULT {
        std::string ansi_name, ansi_value;
        if (const HRESULT hr = com::AnsiFromBstr(name, ansi_name); FAILED(hr)) {
            return hr;
        }
        if (const HRESULT hr = com::AnsiFromBstr(value, ansi_value); FAILED(hr)) {
            return hr;
        }
        return list_.SetAttributeValue(ansi_name, ansi_value) ? S_OK : E_INVALIDARG;
    });
}

HRESULT AttributeListMembers::GetString(BSTR* text) const {
    if (!text) {
        return E_POINTER;
    }
    *text = nullptr;
    return com::Guarded([&]() -> HRESULT { return com::BstrFromAnsi(list_.GetString(), text); });
}

}  // namespace olvex
