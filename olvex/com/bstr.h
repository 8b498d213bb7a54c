// BSTR ownership and the conversions at the engine's interface. Engine texts
// are multibyte strings in the ANSI code page; BSTRs are UTF-16 and are
// converted where they cross the interface.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <string>
#include <string_view>
#include <utility>

namespace olvex::com {

// Owns one BSTR and frees it with SysFreeString.
class UniqueBstr {
  public:
    UniqueBstr() = default;
    explicit UniqueBstr(BSTR owned) : bstr_(owned) {}
    ~UniqueBstr() { SysFreeString(bstr_); }
    UniqueBstr(UniqueBstr&& other) noexcept : bstr_(std::exchange(other.bstr_, nullptr)) {}
    UniqueBstr& operator=(UniqueBstr&& other) noexcept {
        std::swap(bstr_, other.bstr_);
        return *this;
    }
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;

    BSTR Get() const { return bstr_; }
    // For out-parameters: frees what is held and hands out the slot.
    BSTR* Put() {
        SysFreeString(std::exchange(bstr_, nullptr));
        return &bstr_;
    }
    // Gives the string to the caller (an out-parameter, usually).
    BSTR Release() { return std::exchange(bstr_, nullptr); }

  private:
    BSTR bstr_ = nullptr;
};

// The ANSI form of a BSTR (up to its first NUL); a null BSTR is the empty
// text. E_OUTOFMEMORY when the text cannot be made.
HRESULT AnsiFromBstr(const wchar_t* text, std::string& out);

// A new BSTR holding the ANSI text, for an out-parameter that the caller then
// owns. E_POINTER for a null out, E_OUTOFMEMORY when it cannot be allocated.
HRESULT BstrFromAnsi(std::string_view text, BSTR* out);

// A new BSTR copy of a UTF-16 text (up to its first NUL); null gives an empty
// string. E_POINTER, E_OUTOFMEMORY as above.
HRESULT BstrFromWide(const wchar_t* text, BSTR* out);

// The UTF-16 form of an ANSI text, for Windows calls that want it. A text the
// code page cannot convert comes back empty; E_OUTOFMEMORY when out of memory.
HRESULT WideFromAnsi(std::string_view text, std::wstring& out);

// Automation booleans: true is -1. Puts store true only for exactly -1.
constexpr VARIANT_BOOL ToVariantBool(bool value) {
    return value ? VARIANT_TRUE : VARIANT_FALSE;
}
constexpr bool IsVariantTrue(VARIANT_BOOL value) {
    return value == VARIANT_TRUE;
}

// A flag property's getter: E_POINTER without an out pointer.
inline HRESULT GetFlag(bool flag, VARIANT_BOOL* out) {
    if (!out)
        return E_POINTER;
    *out = ToVariantBool(flag);
    return S_OK;
}

// The ANSI form of a BSTR argument. Only running out of memory fails, and
// throws: inside Guarded that becomes E_OUTOFMEMORY.
std::string AnsiArgument(const wchar_t* text);

}  // namespace olvex::com
