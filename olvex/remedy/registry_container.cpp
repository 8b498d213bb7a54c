#include "olvex/remedy/registry_container.h"

#include <algorithm>
#include <array>
#include <vector>

#include "olvex/core/file_io.h"
#include "win/unique.h"

namespace olvex {
namespace {

struct RootName {
    const char* word;
    HKEY root;
};
const std::array<RootName, 4> kRoots = {{
    {"hkey_local_machine", HKEY_LOCAL_MACHINE},
    {"hkey_current_user", HKEY_CURRENT_USER},
    {"hkey_classes_root", HKEY_CLASSES_ROOT},
    {"hkey_users", HKEY_USERS},
}};

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// A value's type and bytes, read whatever its size.
std::optional<RegistryValue> ReadValue(HKEY key, const std::string& name, LONG& status) {
    RegistryValue value;
    value.name = name;
    DWORD size = 0;
    DWORD type = 0;
    status = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
    for (int attempt = 0; status == ERROR_SUCCESS || status == ERROR_MORE_DATA; ++attempt) {
        value.data.resize(size + 2);  // room for a terminator some types lack
        DWORD got = static_cast<DWORD>(value.data.size());
        status = RegQueryValueExA(key, name.c_str(), nullptr, &type, value.data.data(), &got);
        if (status == ERROR_SUCCESS) {
            value.data.resize(got);
            value.type = type;
            return value;
        }
        if (status != ERROR_MORE_DATA || attempt > 8)
            break;
        size = std::max<DWORD>(got, size * 2);
    }
    return std::nullopt;
}

struct KeyInfo {
    DWORD max_subkey_name = 0;
    DWORD max_value_name = 0;
    DWORD max_value_data = 0;
};

KeyInfo QueryKeyInfo(HKEY key) {
    KeyInfo info;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, &info.max_subkey_name, nullptr,
                     nullptr, &info.max_value_name, &info.max_value_data, nullptr, nullptr);
    return info;
}

enum class EnumStatus { kValue, kEnd, kFailed };

EnumStatus EnumValue(HKEY key, DWORD index, RegistryValue& value) {
    KeyInfo info = QueryKeyInfo(key);
    for (int attempt = 0; attempt < 8; ++attempt) {
        std::vector<char> name(info.max_value_name + 2);
        DWORD name_length = static_cast<DWORD>(name.size());
        std::vector<std::uint8_t> data(info.max_value_data + 2);
        DWORD data_size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        const LONG status = RegEnumValueA(key, index, name.data(), &name_length, nullptr, &type,
                                          data.data(), &data_size);
        if (status == ERROR_NO_MORE_ITEMS)
            return EnumStatus::kEnd;
        if (status == ERROR_SUCCESS) {
            value.name.assign(name.data(), name_length);
            value.type = type;
            data.resize(data_size);
            value.data = std::move(data);
            return EnumStatus::kValue;
        }
        if (status != ERROR_MORE_DATA)
            return EnumStatus::kFailed;
        // The key changed under us, or the sizes were short: grow and retry.
        info.max_value_name = std::max<DWORD>(info.max_value_name * 2, 1024);
        info.max_value_data = std::max<DWORD>(std::max(info.max_value_data * 2, data_size), 8192);
    }
    return EnumStatus::kFailed;
}

ContainerOutcome Failed(std::string error) {
    return {ContainerOutcome::Status::kFailed, std::move(error)};
}

ContainerOutcome WriteContainer(const std::string& path, const std::string& text,
                                ContainerOutcome outcome) {
    if (WriteWholeFile(path, std::vector<std::uint8_t>(text.begin(), text.end())) !=
        FileError::kNone)
        return Failed("Error opening container file " + path);
    return outcome;
}

// Appends a key, its values and its subkeys to the writer.
std::string ExportKey(HKEY parent, const std::string& line_path, const std::string& path,
                      Regedit4Writer& writer) {
    if (!writer.AddKey(line_path))
        return "Error writing to quarantine database (registry container).";
    win::UniqueKey key;
    const LONG status = RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, key.put());
    if (status != ERROR_SUCCESS)
        return "Error opening key: " + line_path;
    RegistryValue value;
    for (DWORD index = 0;; ++index) {
        const auto result = EnumValue(key.get(), index, value);
        if (result == EnumStatus::kEnd)
            break;
        if (result == EnumStatus::kFailed)
            return "Error reading key: " + line_path;
        if (!writer.AddValue(value))
            return "Error writing to quarantine database (registry container).";
    }
    for (DWORD index = 0;; ++index) {
        std::vector<char> name(QueryKeyInfo(key.get()).max_subkey_name + 2);
        DWORD length = static_cast<DWORD>(name.size());
        const LONG enum_status = RegEnumKeyExA(key.get(), index, name.data(), &length, nullptr,
                                               nullptr, nullptr, nullptr);
        if (enum_status == ERROR_NO_MORE_ITEMS)
            break;
        if (enum_status != ERROR_SUCCESS)
            return "Error reading key: " + line_path;
        const std::string sub(name.data(), length);
        if (auto error = ExportKey(parent, line_path + "\\" + sub, path + "\\" + sub, writer);
            !error.empty())
            return error;
    }
    return {};
}

}  // namespace

std::optional<RegistryKeyName> ParseRegistryKeyText(std::string_view key_text, std::string& error) {
    const auto blank = key_text.find(' ');
    if (blank == std::string_view::npos) {
        error = "Location string is in incorrect format: " + std::string(key_text);
        return std::nullopt;
    }
    RegistryKeyName name;
    name.root_word = std::string(key_text.substr(0, blank));
    for (const auto& root : kRoots) {
        if (name.root_word == root.word)
            name.root = root.root;
    }
    if (!name.root) {
        error = "Location string is in incorrect format (predefined key name unrecognized): " +
                name.root_word;
        return std::nullopt;
    }
    auto path = key_text.substr(blank + 1);
    if (!path.empty() && path.front() == '\\')
        path.remove_prefix(1);
    // An empty path would name the whole root.
    if (path.empty()) {
        error = "Location string is in incorrect format: " + std::string(key_text);
        return std::nullopt;
    }
    name.path = std::string(path);
    return name;
}

std::optional<RegistryKeyName> ParseRegistryKeyPath(std::string_view key_path) {
    const auto slash = key_path.find('\\');
    const auto root_word = key_path.substr(0, slash);
    for (const auto& root : kRoots) {
        if (EqualsNoCase(root_word, root.word)) {
            RegistryKeyName name{std::string(root_word), root.root, {}};
            if (slash != std::string_view::npos)
                name.path = std::string(key_path.substr(slash + 1));
            return name;
        }
    }
    return std::nullopt;
}

ContainerOutcome WriteRegistryValueContainer(const RegistryKeyName& key,
                                             const std::string& value_name,
                                             const std::string& container_path) {
    win::UniqueKey opened;
    const LONG status = RegOpenKeyExA(key.root, key.path.c_str(), 0, KEY_READ, opened.put());
    if (status == ERROR_FILE_NOT_FOUND)
        return {ContainerOutcome::Status::kKeyMissing, "Error opening registry key " + key.path};
    if (status != ERROR_SUCCESS)
        return Failed("Error opening registry key " + key.path);
    LONG read_status = ERROR_SUCCESS;
    const auto value = ReadValue(opened.get(), value_name, read_status);
    if (!value)
        return Failed("Error retrieving value " + value_name + " from key " + key.path);
    Regedit4Writer writer;
    if (!writer.AddKey(key.root_word + "\\" + key.path) || !writer.AddValue(*value))
        return Failed("Error writing to quarantine database (registry container).");
    return WriteContainer(container_path, writer.Text(), {});
}

ContainerOutcome WriteRegistryKeyContainer(const RegistryKeyName& key,
                                           const std::string& container_path) {
    const std::string line_path = key.root_word + "\\" + key.path;
    {
        win::UniqueKey probe;
        if (RegOpenKeyExA(key.root, key.path.c_str(), 0, KEY_READ, probe.put()) ==
            ERROR_FILE_NOT_FOUND) {
            Regedit4Writer writer;
            if (!writer.AddKey(line_path))
                return Failed("Error writing to quarantine database (registry container).");
            return WriteContainer(container_path, writer.Text(),
                                  {ContainerOutcome::Status::kWritten,
                                   "No key exists at (not an error): " + line_path});
        }
    }
    Regedit4Writer writer;
    if (auto error = ExportKey(key.root, line_path, key.path, writer); !error.empty())
        return Failed(std::move(error));
    return WriteContainer(container_path, writer.Text(), {});
}

std::string CompareWithRegistry(const Regedit4Parse& expected) {
    for (const auto& key_data : expected.keys) {
        const auto name = ParseRegistryKeyPath(key_data.path);
        if (!name)
            return "unknown root in " + key_data.path;
        win::UniqueKey key;
        if (RegOpenKeyExA(name->root, name->path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
            return "key " + key_data.path + " is missing";
        for (const auto& value : key_data.values) {
            LONG status = ERROR_SUCCESS;
            const auto actual = ReadValue(key.get(), value.name, status);
            const std::string shown = value.name.empty() ? "(default)" : value.name;
            if (!actual)
                return "value " + shown + " of key " + key_data.path + " is missing";
            if (actual->type != value.type || actual->data != value.data)
                return "value " + shown + " of key " + key_data.path + " differs";
        }
    }
    return {};
}

ImportOutcome ImportRegistryContainer(const std::string& container_path,
                                      const std::string& windows_folder) {
    const auto text = ReadWholeFile(container_path);
    if (!text)
        return {false,
                "Error importing registry container " + container_path + ": it cannot be read"};
    const auto expected = ParseRegedit4(
        std::string_view(reinterpret_cast<const char*>(text.bytes.data()), text.bytes.size()));
    if (!expected.ok)
        return {false, "Error importing registry container " + container_path + ": line " +
                           std::to_string(expected.line) + ": " + expected.error};

    std::string application = windows_folder;
    if (!application.empty() && application.back() == '\\')
        application.pop_back();
    application += "\\regedit.exe";
    std::string command = "\"" + application + "\" /s \"" + container_path + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    GetStartupInfoA(&startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(application.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process))
        return {false, "Error lauching regedit.exe."};
    win::UniqueHandle process_handle(process.hProcess);
    win::UniqueHandle thread_handle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);

    // The editor's exit code says nothing: look at the registry itself.
    if (auto missing = CompareWithRegistry(expected); !missing.empty())
        return {false, "Error importing registry container " + container_path + ": " + missing};
    if (!DeleteFileA(container_path.c_str()))
        return {false, "Error deleting container file " + container_path};
    return {};
}

}  // namespace olvex
