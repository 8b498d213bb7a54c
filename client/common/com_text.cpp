#include "client/common/com_text.h"

namespace olvex {
namespace {

std::string Narrow(const wchar_t* text, int length) {
    if (text == nullptr || length <= 0)
        return {};
    const int size = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return {};
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, length, result.data(), size, nullptr, nullptr);
    return result;
}

}  // namespace

Bstr::Bstr(const std::string& ansi) : Bstr(WidenText(ansi)) {}

std::string NarrowText(BSTR text) {
    return Narrow(text, static_cast<int>(SysStringLen(text)));
}

std::string NarrowText(const std::wstring& text) {
    return Narrow(text.data(), static_cast<int>(text.size()));
}

std::wstring WidenText(const std::string& ansi) {
    if (ansi.empty())
        return {};
    const int length = static_cast<int>(ansi.size());
    const int size = MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, nullptr, 0);
    if (size <= 0)
        return {};
    std::wstring result(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, result.data(), size);
    return result;
}

}  // namespace olvex
