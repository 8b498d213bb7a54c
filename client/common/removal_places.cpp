#include "client/common/removal_places.h"

#include <cstdlib>
#include <optional>
#include <vector>

#include "client/common/com_text.h"
#include "client/common/unique_handle.h"

namespace olvex {
namespace {

using KindTest = HRESULT (STDMETHODCALLTYPE ILocation::*)(VARIANT_BOOL*);

bool Is(ILocation& location, KindTest test) {
    VARIANT_BOOL answer = VARIANT_FALSE;
    return SUCCEEDED((location.*test)(&answer)) && answer == VARIANT_TRUE;
}

std::optional<std::string> Attribute(ILocation& location, const wchar_t* name) {
    Bstr value;
    if (FAILED(location.GetAttributeValue(Bstr(std::wstring(name)).get(), value.Put())) ||
        value.get() == nullptr)
        return std::nullopt;
    return NarrowText(value.get());
}

std::string Lower(std::string text) {
    if (!text.empty())
        CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// The path of a File value: an entry inside an archive ("a.zip|x.exe") is
// removed with its archive.
std::string FilePart(const std::string& value) {
    return value.substr(0, value.find('|'));
}

bool PathIsThere(const std::string& path) {
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        return true;
    const DWORD error = GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

std::optional<HKEY> RootOf(const std::string& word) {
    // The engine's root words, exactly.
    if (word == "hkey_local_machine")
        return HKEY_LOCAL_MACHINE;
    if (word == "hkey_current_user")
        return HKEY_CURRENT_USER;
    if (word == "hkey_classes_root")
        return HKEY_CLASSES_ROOT;
    return std::nullopt;
}

bool KeyIsThere(const std::string& key, const std::optional<std::string>& value) {
    const auto blank = key.find(' ');
    if (blank == std::string::npos)
        return true;
    // Keys of other users' hives (and unknown roots) are left to the engine.
    const auto root = RootOf(key.substr(0, blank));
    if (!root)
        return true;
    std::string path = key.substr(blank + 1);
    if (!path.empty() && path.front() == '\\')
        path.erase(0, 1);
    if (path.empty())
        return true;
    HKEY opened = nullptr;
    const LONG status = RegOpenKeyExA(*root, path.c_str(), 0, KEY_QUERY_VALUE, &opened);
    if (status != ERROR_SUCCESS)
        return status != ERROR_FILE_NOT_FOUND;
    LONG read = ERROR_SUCCESS;
    if (value && !value->empty())
        read = RegQueryValueExA(opened, value->c_str(), nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(opened);
    return read != ERROR_FILE_NOT_FOUND;
}

bool ProcessIsThere(const std::string& id_text) {
    char* end = nullptr;
    const unsigned long id = std::strtoul(id_text.c_str(), &end, 10);
    if (end == id_text.c_str())
        return true;
    const UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(id)));
    if (!process)
        return GetLastError() != ERROR_INVALID_PARAMETER;
    return WaitForSingleObject(process.get(), 0) != WAIT_OBJECT_0;
}

}  // namespace

std::string ComparablePath(const std::string& path) {
    std::vector<char> full(32768);
    const DWORD length =
        GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    std::string result = path;
    if (length > 0 && length < full.size()) {
        result.assign(full.data(), length);
        std::vector<char> longer(32768);
        const DWORD long_length =
            GetLongPathNameA(result.c_str(), longer.data(), static_cast<DWORD>(longer.size()));
        if (long_length > 0 && long_length < longer.size())
            result.assign(longer.data(), long_length);
    }
    // "C:\x\" is "C:\x"; "C:\" stays a root. The last character is found
    // as the code page has it, so a trail byte is never taken for "\".
    if (result.size() > 3) {
        const char* last = CharPrevA(result.c_str(), result.c_str() + result.size());
        if (*last == '\\' && last == result.c_str() + result.size() - 1)
            result.pop_back();
    }
    return Lower(result);
}

LocationPlace PlaceOfLocation(ILocation& location, BSTR text) {
    LocationPlace place;
    if (FAILED(location.SetString(text)))
        return place;
    if (Is(location, &ILocation::IsProcess)) {
        place.kind = LocationKind::kProcess;
        const std::string id = Attribute(location, L"ProcessId").value_or(std::string());
        char* end = nullptr;
        const unsigned long number = std::strtoul(id.c_str(), &end, 10);
        place.place = end != id.c_str() ? std::to_string(number) : id;
    } else if (Is(location, &ILocation::IsCookie)) {
        place.kind = LocationKind::kCookie;
        if (const auto file = Attribute(location, L"File"))
            place.place = ComparablePath(FilePart(*file));
        else
            place.place = Lower(Attribute(location, L"Cookie").value_or(std::string()));
    } else if (Is(location, &ILocation::IsFile)) {
        place.kind = LocationKind::kFile;
        place.place =
            ComparablePath(FilePart(Attribute(location, L"File").value_or(std::string())));
    } else if (Is(location, &ILocation::IsFolder)) {
        place.kind = LocationKind::kFolder;
        place.place = ComparablePath(Attribute(location, L"Folder").value_or(std::string()));
    } else if (Is(location, &ILocation::IsRegistryItem)) {
        place.kind = LocationKind::kRegistryItem;
        place.place = Lower(RegistryPlace(Attribute(location, L"Key").value_or(std::string()),
                                          Attribute(location, L"Value").value_or(std::string())));
    }
    return place;
}

bool IsLocationPresent(ILocation& location, BSTR text) {
    if (FAILED(location.SetString(text)))
        return true;
    if (Is(location, &ILocation::IsProcess))
        return ProcessIsThere(Attribute(location, L"ProcessId").value_or(std::string()));
    if (const auto folder = Attribute(location, L"Folder"))
        return PathIsThere(*folder);
    if (const auto file = Attribute(location, L"File"))
        return PathIsThere(FilePart(*file));
    if (const auto key = Attribute(location, L"Key"))
        return KeyIsThere(*key, Attribute(location, L"Value"));
    return true;
}

}  // namespace olvex
