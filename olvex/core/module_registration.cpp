#include "olvex/core/module_registration.h"

#include <oleauto.h>

#include <cstring>
#include <cwchar>
#include <optional>
#include <string_view>
#include <vector>

#include "olvex/com/com_ptr.h"
#include "olvex/com/engine_class.h"
#include "olvex/com/module.h"
#include "olvex/core/registry_key.h"
#include "olvex/olvex.h"

namespace olvex {
namespace {

constexpr char kSwapStubName[] = "Swavel.exe";

HRESULT FromWin32(LONG error) {
    return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(error);
}

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, static_cast<int>(std::size(text)));
    return text;
}

// The names in the class table are ASCII.
std::wstring Widen(std::string_view ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

std::wstring ClassKeyPath(const com::EngineClass& engine_class) {
    return L"CLSID\\" + GuidText(*engine_class.clsid);
}

// Creates HKCR\path and sets its default value.
HRESULT WriteKey(const std::wstring& path, const std::wstring& default_value) {
    RegistryKey key;
    if (const LONG error = RegistryKey::Create(HKEY_CLASSES_ROOT, path, KEY_WRITE, key);
        error != ERROR_SUCCESS) {
        return FromWin32(error);
    }
    return FromWin32(key.SetString(L"", default_value));
}

HRESULT RegisterEngineClass(const com::EngineClass& engine_class, const std::wstring& server_path,
                            const std::wstring& library_id) {
    const std::wstring clsid = GuidText(*engine_class.clsid);
    const std::wstring description = Widen(engine_class.name) + L" Class";
    const std::wstring prog_id = Widen(engine_class.prog_id);
    const std::wstring versioned = prog_id + L".1";
    const std::wstring class_key = ClassKeyPath(engine_class);

    const std::pair<std::wstring, std::wstring> keys[] = {
        {versioned, description},
        {versioned + L"\\CLSID", clsid},
        {prog_id, description},
        {prog_id + L"\\CLSID", clsid},
        {prog_id + L"\\CurVer", versioned},
        {class_key, description},
        {class_key + L"\\ProgID", versioned},
        {class_key + L"\\VersionIndependentProgID", prog_id},
        {class_key + L"\\TypeLib", library_id},
        {class_key + L"\\InprocServer32", server_path},
    };
    for (const auto& [path, value] : keys) {
        if (const HRESULT hr = WriteKey(path, value); FAILED(hr)) {
            return hr;
        }
    }
    RegistryKey server;
    if (const LONG error = RegistryKey::Open(HKEY_CLASSES_ROOT, class_key + L"\\InprocServer32",
                                             KEY_WRITE, server);
        error != ERROR_SUCCESS) {
        return FromWin32(error);
    }
    return FromWin32(server.SetString(L"ThreadingModel", kThreadingModel));
}

HRESULT UnregisterEngineClass(const com::EngineClass& engine_class) {
    const std::wstring prog_id = Widen(engine_class.prog_id);
    HRESULT result = S_OK;
    for (const std::wstring& path : {prog_id + L".1", prog_id, ClassKeyPath(engine_class)}) {
        if (const HRESULT hr = FromWin32(DeleteKeyTree(HKEY_CLASSES_ROOT, path));
            FAILED(hr) && SUCCEEDED(result)) {
            result = hr;
        }
    }
    return result;
}

HRESULT RegisterTypeLibrary(const std::wstring& server_path) {
    com::ComPtr<ITypeLib> library;
    if (const HRESULT hr = com::EngineTypeLib(library.Put()); FAILED(hr)) {
        return hr;
    }
    std::wstring path = server_path;
    return RegisterTypeLib(library.Get(), path.data(), nullptr);
}

HRESULT UnregisterTypeLibrary() {
    com::ComPtr<ITypeLib> library;
    if (const HRESULT hr = com::EngineTypeLib(library.Put()); FAILED(hr)) {
        return hr;
    }
    TLIBATTR* attributes = nullptr;
    if (const HRESULT hr = library->GetLibAttr(&attributes); FAILED(hr)) {
        return hr;
    }
    const TLIBATTR copy = *attributes;
    library->ReleaseTLibAttr(attributes);
    // Nothing to do when it is not registered (UnRegisterTypeLib calls that a failure).
    wchar_t version[32];
    std::swprintf(version, std::size(version), L"\\%x.%x", copy.wMajorVerNum, copy.wMinorVerNum);
    if (!KeyExists(HKEY_CLASSES_ROOT, L"TypeLib\\" + GuidText(copy.guid) + version)) {
        return S_OK;
    }
    return UnRegisterTypeLib(copy.guid, copy.wMajorVerNum, copy.wMinorVerNum, copy.lcid,
                             copy.syskind);
}

// Whether a file names an existing file: a bare name is looked for as
// LoadLibrary would.
bool ServerFileExists(std::wstring path) {
    if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"') {
        path = path.substr(1, path.size() - 2);
    }
    if (path.empty()) {
        return false;
    }
    wchar_t expanded[MAX_PATH * 2];
    const DWORD length =
        ExpandEnvironmentStringsW(path.c_str(), expanded, static_cast<DWORD>(std::size(expanded)));
    if (length > 0 && length <= std::size(expanded)) {
        path = expanded;
    }
    if (path.find(L'\\') == std::wstring::npos && path.find(L'/') == std::wstring::npos) {
        wchar_t found[MAX_PATH];
        return SearchPathW(nullptr, path.c_str(), nullptr, static_cast<DWORD>(std::size(found)),
                           found, nullptr) != 0;
    }
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Whether a registered copy of the engine can still be loaded: some class's
// InprocServer32 names a file that exists. A newer version whose DLL is gone
// (its product was removed without unregistering) must not keep this one
// from registering.
bool RegisteredServerExists() {
    for (const com::EngineClass& engine_class : com::EngineClasses()) {
        RegistryKey key;
        if (RegistryKey::Open(HKEY_CLASSES_ROOT, ClassKeyPath(engine_class) + L"\\InprocServer32",
                              KEY_READ, key) != ERROR_SUCCESS) {
            continue;
        }
        if (const auto path = key.GetString(L""); path && ServerFileExists(*path)) {
            return true;
        }
    }
    return false;
}

bool IsNewer(const DottedVersion& registered, const DottedVersion& ours) {
    for (std::size_t i = 0; i < registered.size(); ++i) {
        if (registered[i] != ours[i]) {
            return registered[i] > ours[i];
        }
    }
    return false;
}

bool RunningInSwapStub() {
    char path[MAX_PATH * 2] = {};
    GetModuleFileNameA(nullptr, path, static_cast<DWORD>(std::size(path) - 1));
    return std::strstr(path, kSwapStubName) != nullptr;
}

// Step 2 of unregistration: S_OK when the key is gone or absent, E_UNEXPECTED
// when it has a subkey (and then nothing else is removed).
HRESULT RemoveVersionKey() {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kVersionKeyName, 0, KEY_ALL_ACCESS, &opened) !=
        ERROR_SUCCESS) {
        return S_OK;
    }
    RegistryKey key(opened);
    if (key.HasSubkey()) {
        return E_UNEXPECTED;
    }
    RegDeleteValueA(key.handle(), kCurrentVersionValue);
    key.Close();
    RegDeleteKeyA(HKEY_CLASSES_ROOT, kVersionKeyName);
    return S_OK;
}

}  // namespace

bool ReadRegisteredVersion(std::string& text) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kVersionKeyName, 0, KEY_READ, &opened) != ERROR_SUCCESS) {
        return false;
    }
    const RegistryKey key(opened);
    // At most 32 bytes, plus a NUL of our own: the data need not end in one.
    char data[33] = {};
    DWORD size = 32;
    DWORD type = 0;
    if (RegQueryValueExA(key.handle(), kCurrentVersionValue, nullptr, &type,
                         reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return false;
    }
    text.assign(data, strnlen(data, size));
    return true;
}

bool WriteRegisteredVersion(const std::string& text) {
    HKEY created = nullptr;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, kVersionKeyName, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, &created, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const RegistryKey key(created);
    // The key's description is stored as its characters alone, as every
    // registered engine wrote it. Windows stores a zero that follows the
    // given bytes in memory as their terminator, so the text is followed by a
    // character that is not stored. The version goes in with its zero.
    const std::string description = std::string(kVersionKeyDefault) + ' ';
    return RegSetValueExA(key.handle(), nullptr, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(description.data()),
                          static_cast<DWORD>(description.size() - 1)) == ERROR_SUCCESS &&
           RegSetValueExA(key.handle(), kCurrentVersionValue, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

HRESULT RegisterEngineServer() {
    if (std::string registered; ReadRegisteredVersion(registered)) {
        if (IsNewer(ParseDottedVersion(registered), EngineVersion()) && RegisteredServerExists()) {
            return S_OK;
        }
    }
    const auto server_path = com::ThisModulePath();
    if (!server_path) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    const std::wstring library_id = GuidText(LIBID_olvex);
    for (const com::EngineClass& engine_class : com::EngineClasses()) {
        if (const HRESULT hr = RegisterEngineClass(engine_class, *server_path, library_id);
            FAILED(hr)) {
            return hr;
        }
    }
    if (const HRESULT hr = RegisterTypeLibrary(*server_path); FAILED(hr)) {
        return hr;
    }
    // Last, so that a registration that failed does not keep an older copy
    // from registering later.
    if (!WriteRegisteredVersion(EngineVersionText())) {
        return E_UNEXPECTED;
    }
    return S_OK;
}

HRESULT UnregisterEngineServer() {
    if (!RunningInSwapStub()) {
        if (const HRESULT hr = RemoveVersionKey(); FAILED(hr)) {
            return hr;
        }
    }
    HRESULT result = S_OK;
    for (const com::EngineClass& engine_class : com::EngineClasses()) {
        if (const HRESULT hr = UnregisterEngineClass(engine_class);
            FAILED(hr) && SUCCEEDED(result)) {
            result = hr;
        }
    }
    if (const HRESULT hr = UnregisterTypeLibrary(); FAILED(hr) && SUCCEEDED(result)) {
        result = hr;
    }
    return result;
}

}  // namespace olvex
