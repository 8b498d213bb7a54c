#include "olvex/com/bstr.h"

#include <windows.h>

#include <cwchar>
#include <limits>
#include <new>

namespace olvex::com {

HRESULT AnsiFromBstr(const wchar_t* text, std::string& out) {
    try {
        out.clear();
        if (!text || !*text) {
            return S_OK;
        }
        const size_t length = std::wcslen(text);
        if (length > static_cast<size_t>(std::numeric_limits<int>::max())) {
            return E_OUTOFMEMORY;
        }
        const int wide_length = static_cast<int>(length);
        const int needed =
            WideCharToMultiByte(CP_ACP, 0, text, wide_length, nullptr, 0, nullptr, nullptr);
        if (needed <= 0) {
            return S_OK;
        }
        out.resize(static_cast<size_t>(needed));
        const int written =
            WideCharToMultiByte(CP_ACP, 0, text, wide_length, out.data(), needed, nullptr, nullptr);
        out.resize(written > 0 ? static_cast<size_t>(written) : 0);
        return S_OK;
    } catch (const std::bad_alloc&) {
        out.clear();
        return E_OUTOFMEMORY;
    }
}

HRESULT WideFromAnsi(std::string_view text, std::wstring& out) {
    try {
        out.clear();
        if (text.empty()) {
            return S_OK;
        }
        if (text.size() > static_cast<size_t>(std::numeric_limits<int>::max())) {
            return E_OUTOFMEMORY;
        }
        const int length = static_cast<int>(text.size());
        const int needed = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
        if (needed <= 0) {
            return S_OK;
        }
        out.resize(static_cast<size_t>(needed));
        const int written = MultiByteToWideChar(CP_ACP, 0, text.data(), length, out.data(), needed);
        out.resize(written > 0 ? static_cast<size_t>(written) : 0);
        return S_OK;
    } catch (const std::bad_alloc&) {
        out.clear();
        return E_OUTOFMEMORY;
    }
}

HRESULT BstrFromAnsi(std::string_view text, BSTR* out) {
    if (!out) {
        return E_POINTER;
    }
    *out = nullptr;
    std::wstring wide;
    if (const HRESULT hr = WideFromAnsi(text, wide); FAILED(hr)) {
        return hr;
    }
    BSTR result = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (!result) {
        return E_OUTOFMEMORY;
    }
    *out = result;
    return S_OK;
}

HRESULT BstrFromWide(const wchar_t* text, BSTR* out) {
    if (!out) {
        return E_POINTER;
    }
    *out = SysAllocString(text ? text : L"");
    return *out ? S_OK : E_OUTOFMEMORY;
}

std::string AnsiArgument(const wchar_t* text) {
    std::string ansi;
    if (FAILED(AnsiFromBstr(text, ansi)))
        throw std::bad_alloc();
    return ansi;
}

}  // namespace olvex::com
