// UTF-16 texts of the setup library at the Win32 boundary: on Windows a
// wchar_t is a UTF-16 unit, so the same characters pass both ways.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace olvex::setup {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");

inline const wchar_t* W(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}
inline wchar_t* W(std::u16string& text) {
    return reinterpret_cast<wchar_t*>(text.data());
}

inline std::u16string U(const wchar_t* text) {
    return text ? std::u16string(reinterpret_cast<const char16_t*>(text)) : std::u16string();
}
inline std::u16string U(const wchar_t* text, size_t length) {
    return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}
inline std::u16string U(std::wstring_view text) {
    return U(text.data(), text.size());
}

}  // namespace olvex::setup
