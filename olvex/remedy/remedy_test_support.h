// Helpers the exterminator's and the sessions' Windows tests share: texts
// across the COM boundary, folder trees and registry keys as comparable
// values.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "olvex/com/bstr.h"
#include "olvex/com/com_ptr.h"
#include "olvex/com/engine_class.h"
#include "olvex/olvex.h"
#include "testing/scratch_dir.h"

namespace olvex::testing {

inline com::UniqueBstr Bstr(const std::string& text) {
    com::UniqueBstr out;
    EXPECT_EQ(com::BstrFromAnsi(text, out.Put()), S_OK);
    return out;
}

inline std::string Text(BSTR text) {
    std::string out;
    EXPECT_EQ(com::AnsiFromBstr(text, out), S_OK);
    return out;
}

template <class Interface>
std::string LastErrorOf(Interface* object) {
    com::UniqueBstr value;
    EXPECT_EQ(object->get_bsLastError(value.Put()), S_OK);
    return Text(value.Get());
}

// Every file and folder below root: files with their bytes, folders as "/".
inline std::map<std::string, std::vector<unsigned char>> TreeOf(const std::filesystem::path& root) {
    std::map<std::string, std::vector<unsigned char>> tree;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        const auto relative = std::filesystem::relative(entry.path(), root).string();
        tree[relative] =
            entry.is_regular_file() ? ReadFileBytes(entry.path()) : std::vector<unsigned char>{'/'};
    }
    return tree;
}

inline std::vector<unsigned char> PatternBytes(std::size_t n, unsigned seed) {
    std::vector<unsigned char> bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<unsigned char>(i * seed + (i >> 8));
    return bytes;
}

// A registry value as stored: type and bytes.
struct StoredValue {
    DWORD type = 0;
    std::vector<unsigned char> data;
    bool operator==(const StoredValue&) const = default;
};

// Every value below a key, by "subkey path|value name"; subkeys without
// values appear as "subkey path|" with type REG_NONE and no data.
inline std::map<std::string, StoredValue> RegistryTreeOf(HKEY root, const std::string& path,
                                                         const std::string& prefix = {}) {
    std::map<std::string, StoredValue> values;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return values;
    values[prefix + "|"] = {};
    for (DWORD i = 0;; ++i) {
        char name[1024];
        DWORD name_length = sizeof(name);
        std::vector<unsigned char> data(65536);
        DWORD size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (RegEnumValueA(key, i, name, &name_length, nullptr, &type, data.data(), &size) !=
            ERROR_SUCCESS)
            break;
        data.resize(size);
        values[prefix + "|" + std::string(name, name_length)] = {type, data};
    }
    std::vector<std::string> subkeys;
    for (DWORD i = 0;; ++i) {
        char name[1024];
        if (RegEnumKeyA(key, i, name, sizeof(name)) != ERROR_SUCCESS)
            break;
        subkeys.emplace_back(name);
    }
    RegCloseKey(key);
    for (const auto& sub : subkeys)
        values.merge(RegistryTreeOf(root, path + "\\" + sub, prefix + "\\" + sub));
    return values;
}

inline void SetValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                     const std::vector<unsigned char>& data) {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    ASSERT_EQ(
        RegSetValueExA(key, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())),
        ERROR_SUCCESS);
    RegCloseKey(key);
}

inline std::vector<unsigned char> Sz(const std::string& text) {
    std::vector<unsigned char> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

inline std::vector<unsigned char> TextBytes(const std::string& text) {
    return {text.begin(), text.end()};
}

inline bool KeyExists(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

}  // namespace olvex::testing
