#include "olvex/com/last_error.h"

#include <new>

#include "olvex/com/bstr.h"

namespace olvex::com {

// Out of memory for the text keeps the previous one: reporting an error must
// not throw out of a COM member.
void LastError::Set(std::string_view text, long code) noexcept {
    std::lock_guard lock(mutex_);
    try {
        text_.assign(text);
    } catch (const std::bad_alloc&) {
    }
    code_ = code;
}

void LastError::SetText(std::string_view text) noexcept {
    std::lock_guard lock(mutex_);
    try {
        text_.assign(text);
    } catch (const std::bad_alloc&) {
    }
}

void LastError::SetCode(long code) noexcept {
    std::lock_guard lock(mutex_);
    code_ = code;
}

void LastError::SetSuccess() noexcept {
    Set(kSuccessText, 0);
}

std::string LastError::Text() const {
    std::lock_guard lock(mutex_);
    return text_;
}

long LastError::Code() const {
    std::lock_guard lock(mutex_);
    return code_;
}

HRESULT LastError::GetText(BSTR* out) const {
    if (!out) {
        return E_POINTER;
    }
    std::lock_guard lock(mutex_);
    return BstrFromAnsi(text_, out);
}

HRESULT LastError::PutText(BSTR value) {
    std::string text;
    if (const HRESULT hr = AnsiFromBstr(value, text); FAILED(hr)) {
        return hr;
    }
    std::lock_guard lock(mutex_);
    text_.swap(text);
    return S_OK;
}

HRESULT LastError::GetCode(long* out) const {
    if (!out) {
        return E_POINTER;
    }
    *out = Code();
    return S_OK;
}

bool LastError::RequireInitialized(bool initialized, VARIANT_BOOL* success,
                                   std::string_view text) noexcept {
    if (initialized) {
        return true;
    }
    SetText(text);
    if (success) {
        *success = VARIANT_FALSE;
    }
    return false;
}

bool LastError::RequireInitialized(bool initialized, VARIANT_BOOL* success, std::string_view text,
                                   long code) noexcept {
    if (initialized) {
        return true;
    }
    Set(text, code);
    if (success) {
        *success = VARIANT_FALSE;
    }
    return false;
}

}  // namespace olvex::com
