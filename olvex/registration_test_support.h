// Shared by the DLL tests: the engine DLL's path, the registry keys its
// registration touches, and a loaded copy of the DLL with its exports.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <cwctype>
#include <optional>
#include <string>
#include <vector>

#include "olvex/engine_contract_test_table.h"
#include "testing/windows_test_support.h"

namespace olvex::testing {

inline std::wstring EngineDllPath() {
    return WindowsPath(OLVEX_DLL_PATH);
}

inline std::wstring Wide(const char* ascii) {
    return std::wstring(ascii, ascii + std::char_traits<char>::length(ascii));
}

inline std::wstring Upper(std::wstring text) {
    for (auto& c : text) {
        c = static_cast<wchar_t>(std::towupper(c));
    }
    return text;
}

// Every key that registering the engine can write under HKEY_CLASSES_ROOT.
inline std::vector<std::wstring> RegistrationKeys() {
    std::vector<std::wstring> keys = {L"olvex", std::wstring(L"TypeLib\\") + kContractLibraryId};
    for (const auto& c : ContractClasses()) {
        keys.push_back(Wide(c.prog_id));
        keys.push_back(Wide(c.versioned_prog_id));
        keys.push_back(std::wstring(L"CLSID\\") + c.clsid);
    }
    for (const auto& i : ContractInterfaces()) {
        keys.push_back(std::wstring(L"Interface\\") + i.iid);
    }
    return keys;
}

inline void DeleteRegistrationKeys() {
    for (const auto& key : RegistrationKeys()) {
        SHDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
    }
}

inline bool ClassesKeyExists(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

// A string value under HKEY_CLASSES_ROOT; nullopt when missing or not a string.
inline std::optional<std::wstring> ClassesString(const std::wstring& path,
                                                 const wchar_t* name = L"") {
    wchar_t data[1024] = {};
    DWORD size = sizeof(data) - sizeof(wchar_t);
    DWORD type = 0;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    const LONG error =
        RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (error != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    return std::wstring(data);
}

inline bool SetClassesString(const std::wstring& path, const wchar_t* name,
                             const std::wstring& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const LONG error =
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return error == ERROR_SUCCESS;
}

// The engine DLL loaded into the test process, with its four exports.
class LoadedEngine {
  public:
    LoadedEngine() : module_(LoadLibraryW(EngineDllPath().c_str())) {}
    ~LoadedEngine() {
        if (module_) {
            FreeLibrary(module_);
        }
    }
    LoadedEngine(const LoadedEngine&) = delete;
    LoadedEngine& operator=(const LoadedEngine&) = delete;

    bool loaded() const { return module_ != nullptr; }
    HRESULT Register() const { return Call("DllRegisterServer"); }
    HRESULT Unregister() const { return Call("DllUnregisterServer"); }
    HRESULT CanUnloadNow() const { return Call("DllCanUnloadNow"); }
    HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** object) const {
        using Export = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
        const auto get = reinterpret_cast<Export>(
            reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
        return get ? get(clsid, riid, object) : E_FAIL;
    }

  private:
    HRESULT Call(const char* name) const {
        using Export = HRESULT(STDAPICALLTYPE*)();
        const auto call =
            reinterpret_cast<Export>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
        return call ? call() : E_FAIL;
    }

    HMODULE module_;
};

}  // namespace olvex::testing
