#include "olvex/core/registry_key.h"

#include <algorithm>
#include <vector>

namespace olvex {

LONG RegistryKey::Open(HKEY parent, const std::wstring& path, REGSAM access, RegistryKey& out) {
    HKEY opened = nullptr;
    const LONG error = RegOpenKeyExW(parent, path.c_str(), 0, access, &opened);
    out = RegistryKey(error == ERROR_SUCCESS ? opened : nullptr);
    return error;
}

LONG RegistryKey::Create(HKEY parent, const std::wstring& path, REGSAM access, RegistryKey& out) {
    HKEY created = nullptr;
    const LONG error = RegCreateKeyExW(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                       access, nullptr, &created, nullptr);
    out = RegistryKey(error == ERROR_SUCCESS ? created : nullptr);
    return error;
}

LONG RegistryKey::Open(HKEY parent, const std::string& path, REGSAM access, RegistryKey& out) {
    HKEY opened = nullptr;
    const LONG error = RegOpenKeyExA(parent, path.c_str(), 0, access, &opened);
    out = RegistryKey(error == ERROR_SUCCESS ? opened : nullptr);
    return error;
}

void RegistryKey::Close() {
    if (HKEY old = std::exchange(key_, nullptr)) {
        RegCloseKey(old);
    }
}

LONG RegistryKey::SetString(const std::wstring& name, const std::wstring& value) const {
    const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key_, name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(value.c_str()), bytes);
}

std::optional<std::wstring> RegistryKey::GetString(const std::wstring& name) const {
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(key_, name.c_str(), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    // One more character than stored: the data need not end in a NUL.
    std::vector<wchar_t> data(bytes / sizeof(wchar_t) + 2, L'\0');
    DWORD size = static_cast<DWORD>((data.size() - 1) * sizeof(wchar_t));
    if (RegQueryValueExW(key_, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                         &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    std::wstring text(data.data(), size / sizeof(wchar_t));
    if (const auto end = text.find(L'\0'); end != std::wstring::npos) {
        text.resize(end);
    }
    return text;
}

std::optional<std::string> RegistryKey::GetString(const std::string& name) const {
    // The value can grow between the two queries: ask again with its new size.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0;
        DWORD bytes = 0;
        if (RegQueryValueExA(key_, name.c_str(), nullptr, &type, nullptr, &bytes) !=
                ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ)) {
            return std::nullopt;
        }
        // One more byte than stored: the data need not end in a NUL.
        std::vector<char> data(bytes + 1, '\0');
        DWORD size = bytes;
        const LONG error = RegQueryValueExA(key_, name.c_str(), nullptr, &type,
                                            reinterpret_cast<BYTE*>(data.data()), &size);
        if (error == ERROR_MORE_DATA) {
            continue;
        }
        if (error != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
            return std::nullopt;
        }
        std::string text(data.data(), std::min<std::size_t>(size, bytes));
        if (const auto end = text.find('\0'); end != std::string::npos) {
            text.resize(end);
        }
        return text;
    }
    return std::nullopt;
}

bool RegistryKey::HasSubkey() const {
    wchar_t name[256];
    DWORD length = static_cast<DWORD>(std::size(name));
    return RegEnumKeyExW(key_, 0, name, &length, nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

LONG DeleteKeyTree(HKEY parent, const std::wstring& path) {
    RegistryKey key;
    LONG error = RegistryKey::Open(parent, path, KEY_READ | KEY_WRITE | DELETE, key);
    if (error == ERROR_FILE_NOT_FOUND) {
        return ERROR_SUCCESS;
    }
    if (error != ERROR_SUCCESS) {
        return error;
    }
    // Always take the first subkey: deleting shifts the indices.
    for (;;) {
        wchar_t name[256];
        DWORD length = static_cast<DWORD>(std::size(name));
        error = RegEnumKeyExW(key.handle(), 0, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (error == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (error != ERROR_SUCCESS) {
            return error;
        }
        error = DeleteKeyTree(key.handle(), name);
        if (error != ERROR_SUCCESS) {
            return error;
        }
    }
    key.Close();
    error = RegDeleteKeyW(parent, path.c_str());
    return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
}

bool KeyExists(HKEY parent, const std::wstring& path) {
    RegistryKey key;
    return RegistryKey::Open(parent, path, KEY_READ, key) == ERROR_SUCCESS;
}

bool KeyPresent(HKEY parent, const std::string& path) {
    RegistryKey key;
    return RegistryKey::Open(parent, path, KEY_QUERY_VALUE, key) != ERROR_FILE_NOT_FOUND;
}

}  // namespace olvex
