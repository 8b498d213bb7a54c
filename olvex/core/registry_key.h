// An open registry key with one owner, closed once. Thin: callers that need
// more than these few operations use handle() with the registry API.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <utility>

namespace olvex {

class RegistryKey {
  public:
    RegistryKey() = default;
    explicit RegistryKey(HKEY owned) : key_(owned) {}
    ~RegistryKey() { Close(); }
    RegistryKey(RegistryKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
    RegistryKey& operator=(RegistryKey&& other) noexcept {
        std::swap(key_, other.key_);
        return *this;
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // The Win32 error code on failure (ERROR_SUCCESS when opened).
    static LONG Open(HKEY parent, const std::wstring& path, REGSAM access, RegistryKey& out);
    static LONG Create(HKEY parent, const std::wstring& path, REGSAM access, RegistryKey& out);
    // The same with a path in the ANSI code page, the engine's own texts.
    static LONG Open(HKEY parent, const std::string& path, REGSAM access, RegistryKey& out);

    HKEY handle() const { return key_; }
    explicit operator bool() const { return key_ != nullptr; }
    void Close();

    // A REG_SZ value with its terminating NUL; an empty name is the default value.
    LONG SetString(const std::wstring& name, const std::wstring& value) const;
    // A REG_SZ or REG_EXPAND_SZ value as stored (not expanded); nullopt when
    // it is missing, of another type or cannot be read.
    std::optional<std::wstring> GetString(const std::wstring& name) const;
    // The same in the ANSI code page, whatever the length of the value.
    std::optional<std::string> GetString(const std::string& name) const;
    bool HasSubkey() const;

  private:
    HKEY key_ = nullptr;
};

// Deletes a key with everything below it. ERROR_SUCCESS also when it did
// not exist.
LONG DeleteKeyTree(HKEY parent, const std::wstring& path);

bool KeyExists(HKEY parent, const std::wstring& path);
// Whether the key is there, also when it refuses the caller: any answer but
// "not found" counts as present.
bool KeyPresent(HKEY parent, const std::string& path);

}  // namespace olvex
