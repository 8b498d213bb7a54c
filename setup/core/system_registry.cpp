#include <windows.h>

#include "win/unique.h"
#include "setup/core/setup_strings.h"
#include "setup/core/setup_text.h"
#include "setup/core/system_utilities.h"
#include "setup/core/utility_messages.h"
#include "setup/core/win_text.h"

namespace olvex::setup::util {
namespace {

constexpr DWORD kMaxSubkeysPerLevel = 16384;
constexpr DWORD kMaxSubkeyName = 1024;

win::UniqueKey OpenKey(HKEY root, std::u16string_view key, REGSAM access, LONG* error = nullptr) {
    win::UniqueKey handle;
    const std::u16string path(key);
    const LONG result = RegOpenKeyExW(root, W(path), 0, access, handle.put());
    if (error) {
        *error = result;
    }
    if (result != ERROR_SUCCESS) {
        handle.reset();
    }
    return handle;
}

// The parent of a key path: trailing backslashes and the last component go.
std::u16string ParentKey(std::u16string_view key) {
    std::u16string parent(key);
    TrimTrailingBackslashes(parent);
    const size_t at = parent.rfind(u'\\');
    parent.resize(at == std::u16string::npos ? 0 : at);
    TrimTrailingBackslashes(parent);
    return parent;
}

}  // namespace

std::u16string RegistryData::Text() const {
    std::u16string text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto c = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (c == 0) {
            break;
        }
        text.push_back(c);
    }
    return text;
}

LONG ReadRegistryValue(HKEY root, std::u16string_view key, std::u16string_view value,
                       RegistryData& data, DWORD max_bytes) {
    data = RegistryData{};
    if (key.empty()) {
        return ERROR_INVALID_PARAMETER;
    }
    LONG error = ERROR_SUCCESS;
    const win::UniqueKey handle = OpenKey(root, key, KEY_READ, &error);
    if (!handle) {
        return error;
    }
    std::vector<uint8_t> bytes(max_bytes);
    DWORD size = max_bytes;
    DWORD type = REG_NONE;
    const std::u16string name(value);
    error = RegQueryValueExW(handle.get(), W(name), nullptr, &type, bytes.data(), &size);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    bytes.resize(size);
    data.type = type;
    data.bytes = std::move(bytes);
    return ERROR_SUCCESS;
}

std::optional<std::u16string> ReadRegistryString(HKEY root, std::u16string_view key,
                                                 std::u16string_view value, DWORD max_bytes) {
    RegistryData data;
    if (ReadRegistryValue(root, key, value, data, max_bytes) != ERROR_SUCCESS ||
        (data.type != REG_SZ && data.type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    return data.Text();
}

LONG WriteRegistryValue(HKEY root, std::u16string_view key, std::u16string_view value,
                        std::u16string_view text, DWORD type) {
    win::UniqueKey handle;
    const std::u16string path(key);
    LONG error = key.empty() ? ERROR_INVALID_PARAMETER
                             : RegCreateKeyExW(root, W(path), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                               KEY_SET_VALUE, nullptr, handle.put(), nullptr);
    if (error == ERROR_SUCCESS) {
        const std::u16string name(value);
        if (type == REG_DWORD) {
            const DWORD number = ParseDecimal(text);
            error = RegSetValueExW(handle.get(), W(name), 0, REG_DWORD,
                                   reinterpret_cast<const BYTE*>(&number), sizeof(number));
        } else {
            const std::u16string data(text);
            error = RegSetValueExW(handle.get(), W(name), 0, type,
                                   reinterpret_cast<const BYTE*>(data.c_str()),
                                   static_cast<DWORD>((data.size() + 1) * sizeof(char16_t)));
        }
    }
    if (error != ERROR_SUCCESS) {
        ReportUtilityMessage(msg::kRegistryValueNotWritten,
                             u"Key = " + std::u16string(key) + u", Name = " +
                                 std::u16string(value) + u", Value = " + std::u16string(text),
                             static_cast<uint32_t>(error));
    }
    return error;
}

bool DeleteRegistryValue(HKEY root, std::u16string_view key, std::u16string_view value) {
    LONG error = ERROR_SUCCESS;
    const win::UniqueKey handle = OpenKey(root, key, KEY_SET_VALUE, &error);
    if (!handle) {
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    const std::u16string name(value);
    error = RegDeleteValueW(handle.get(), W(name));
    return error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND;
}

bool CreateRegistryKeyPath(HKEY root, std::u16string_view key) {
    // Level by level, so that a refusal names the level that failed.
    std::u16string path;
    size_t start = 0;
    LONG error = key.empty() ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    while (error == ERROR_SUCCESS && start < key.size()) {
        size_t end = key.find(u'\\', start);
        if (end == std::u16string_view::npos) {
            end = key.size();
        }
        if (end > start) {
            if (!path.empty()) {
                path.push_back(u'\\');
            }
            path.append(key.substr(start, end - start));
            win::UniqueKey handle;
            error = RegCreateKeyExW(root, W(path), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                    KEY_CREATE_SUB_KEY, nullptr, handle.put(), nullptr);
        }
        start = end + 1;
    }
    if (error != ERROR_SUCCESS) {
        ReportUtilityMessage(msg::kRegistryKeyNotCreated, path.empty() ? std::u16string(key) : path,
                             static_cast<uint32_t>(error));
        return false;
    }
    return true;
}

bool GetRegistryKeyInfo(HKEY root, std::u16string_view key, DWORD* subkeys, DWORD* values) {
    DWORD subkey_count = 0;
    DWORD value_count = 0;
    const win::UniqueKey handle = OpenKey(root, key, KEY_QUERY_VALUE);
    const bool read =
        handle &&
        RegQueryInfoKeyW(handle.get(), nullptr, nullptr, nullptr, &subkey_count, nullptr, nullptr,
                         &value_count, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    if (!read) {
        subkey_count = 0;
        value_count = 0;
    }
    if (subkeys) {
        *subkeys = subkey_count;
    }
    if (values) {
        *values = value_count;
    }
    return read;
}

DWORD GetRegistrySubkeyCount(HKEY root, std::u16string_view key) {
    LONG error = ERROR_SUCCESS;
    const win::UniqueKey handle = OpenKey(root, key, KEY_READ, &error);
    if (!handle) {
        return (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) ? 0 : 1;
    }
    DWORD subkeys = 0;
    if (RegQueryInfoKeyW(handle.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return 1;
    }
    return subkeys;
}

bool DeleteEmptyRegistryKeys(HKEY root, std::u16string_view key, bool walk_up) {
    std::u16string current(key);
    TrimTrailingBackslashes(current);
    bool first_gone = false;
    bool first = true;
    while (!current.empty()) {
        LONG error = ERROR_SUCCESS;
        const win::UniqueKey handle = OpenKey(root, current, KEY_QUERY_VALUE, &error);
        bool gone = false;
        if (!handle) {
            gone = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        } else {
            DWORD subkeys = 1;
            DWORD values = 1;
            if (RegQueryInfoKeyW(handle.get(), nullptr, nullptr, nullptr, &subkeys, nullptr,
                                 nullptr, &values, nullptr, nullptr, nullptr,
                                 nullptr) == ERROR_SUCCESS &&
                subkeys == 0 && values == 0) {
                gone = RegDeleteKeyW(root, W(current)) == ERROR_SUCCESS;
            }
        }
        if (first) {
            first_gone = gone;
            first = false;
        }
        if (!gone || !walk_up) {
            break;
        }
        current = ParentKey(current);
    }
    return first_gone;
}

LONG DeleteRegistryKeyTree(HKEY root, std::u16string_view key) {
    if (key.empty()) {
        return ERROR_INVALID_PARAMETER;
    }
    LONG error = ERROR_SUCCESS;
    const std::u16string path(key);
    {
        const win::UniqueKey handle =
            OpenKey(root, path, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE, &error);
        if (!handle) {
            return error;
        }
        // Deleting shifts the following names down: index moves on only past
        // a subkey that could not be deleted.
        DWORD index = 0;
        for (DWORD visited = 0; visited < kMaxSubkeysPerLevel; ++visited) {
            std::u16string name(kMaxSubkeyName + 1, u'\0');
            DWORD length = kMaxSubkeyName + 1;
            const LONG listed = RegEnumKeyExW(handle.get(), index, W(name), &length, nullptr,
                                              nullptr, nullptr, nullptr);
            if (listed == ERROR_NO_MORE_ITEMS) {
                break;
            }
            if (listed == ERROR_MORE_DATA) {
                return ERROR_INSUFFICIENT_BUFFER;
            }
            if (listed != ERROR_SUCCESS) {
                return listed;
            }
            name.resize(length);
            const LONG sub = DeleteRegistryKeyTree(root, path + u"\\" + name);
            if (sub == ERROR_INSUFFICIENT_BUFFER) {
                return sub;
            }
            if (sub != ERROR_SUCCESS) {
                error = sub;
                ++index;
            }
        }
    }
    const LONG deleted = RegDeleteKeyW(root, W(path));
    return deleted != ERROR_SUCCESS ? deleted : error;
}

}  // namespace olvex::setup::util
