// Text across the engine's COM boundary: BSTRs owned once, and the ANSI
// text the client library's files hold.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <utility>

namespace olvex {

class Bstr {
  public:
    Bstr() = default;
    explicit Bstr(const std::wstring& text) : bstr_(SysAllocStringLen(text.data(), Length(text))) {}
    explicit Bstr(const std::string& ansi);
    ~Bstr() { SysFreeString(bstr_); }
    Bstr(Bstr&& other) noexcept : bstr_(std::exchange(other.bstr_, nullptr)) {}
    Bstr& operator=(Bstr&& other) noexcept {
        if (this != &other) {
            SysFreeString(bstr_);
            bstr_ = std::exchange(other.bstr_, nullptr);
        }
        return *this;
    }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;

    BSTR get() const { return bstr_; }
    // For out-parameters: frees what is held and hands out the slot.
    BSTR* Put() {
        SysFreeString(std::exchange(bstr_, nullptr));
        return &bstr_;
    }
    bool empty() const { return SysStringLen(bstr_) == 0; }

  private:
    static UINT Length(const std::wstring& text) { return static_cast<UINT>(text.size()); }
    BSTR bstr_ = nullptr;
};

// The text in the ANSI code page (a null BSTR is empty).
std::string NarrowText(BSTR text);
std::string NarrowText(const std::wstring& text);
std::wstring WidenText(const std::string& ansi);

}  // namespace olvex
