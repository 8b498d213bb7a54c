#include "olvex/scan/scan_places.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

#include "olvex/core/file_io.h"
#include "olvex/core/special_folders.h"
#include "olvex/scan/user_hives.h"

namespace olvex {
namespace {

std::atomic<const ScanPlaces*> g_places{nullptr};

// A batch file line longer than this keeps only its beginning: the command
// word is all the scan reads of it.
constexpr std::size_t kMaxLineBytes = 4096;
constexpr std::size_t kReadChunk = 64 * 1024;
// Longest ini entry read (GetPrivateProfileStringA's own limit is about this).
constexpr DWORD kMaxIniEntry = 32 * 1024;
// Registry value names are at most 16383 characters; data larger than this
// is no command line.
constexpr std::size_t kMaxValueName = 16384;
constexpr std::size_t kMaxValueData = 1 << 20;

std::string TextUpToNul(const std::vector<char>& data, DWORD size) {
    const std::string_view stored(data.data(), std::min<std::size_t>(size, data.size()));
    return std::string(stored.substr(0, stored.find('\0')));
}

}  // namespace

const ScanPlaces& CurrentScanPlaces() {
    static const ScanPlaces system_places;
    const ScanPlaces* replaced = g_places.load();
    return replaced ? *replaced : system_places;
}

ScopedScanPlaces::ScopedScanPlaces(const ScanPlaces& places)
    : previous_(g_places.exchange(&places)) {}

ScopedScanPlaces::~ScopedScanPlaces() {
    g_places.store(previous_);
}

std::optional<std::string> CurrentUserCookieFolder(const ScanPlaces& places) {
    if (places.cookie_folder)
        return places.cookie_folder();
    return TheSpecialFolders().ShellFolder(kCsidlCookies);
}

std::optional<std::string> ExpandEnvironmentText(const std::string& text) {
    // The variables can change between the two calls: ask again with the new
    // size. The answer for the ANSI form can be larger than what it writes,
    // so the text ends at its first NUL.
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD needed = ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
        if (needed == 0)
            return std::nullopt;
        std::string expanded(needed + 1, '\0');
        const DWORD written = ExpandEnvironmentStringsA(text.c_str(), expanded.data(), needed + 1);
        if (written == 0)
            return std::nullopt;
        if (written <= needed + 1) {
            expanded.resize(expanded.find('\0'));
            return expanded;
        }
    }
    return std::nullopt;
}

PathState WindowsPathProbe::Probe(const std::string& path) {
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        return PathState::kPresent;
    return GetLastError() == ERROR_ACCESS_DENIED ? PathState::kAccessDenied : PathState::kMissing;
}

HKEY WindowsAutorunSystem::Root(AutorunRoot root) const {
    switch (root) {
        case AutorunRoot::kLocalMachine:
            return places_.local_machine;
        case AutorunRoot::kCurrentUser:
            return places_.current_user;
        case AutorunRoot::kClassesRoot:
            return places_.classes_root;
        case AutorunRoot::kUsers:
            break;
    }
    // Users' hives are mounted there, whatever a test replaced.
    return HKEY_USERS;
}

bool WindowsAutorunSystem::KeyOpens(AutorunRoot root, const std::string& key) {
    RegistryKey opened;
    return RegistryKey::Open(Root(root), key, KEY_READ, opened) == ERROR_SUCCESS;
}

std::optional<std::string> WindowsAutorunSystem::StringValue(AutorunRoot root,
                                                             const std::string& key,
                                                             std::string_view name) {
    RegistryKey opened;
    if (RegistryKey::Open(Root(root), key, KEY_READ, opened) != ERROR_SUCCESS)
        return std::nullopt;
    return opened.GetString(std::string(name));
}

std::optional<std::vector<AutorunValue>> WindowsAutorunSystem::Values(AutorunRoot root,
                                                                      const std::string& key) {
    RegistryKey opened;
    if (RegistryKey::Open(Root(root), key, KEY_READ, opened) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD longest_name = 0;
    DWORD largest_data = 0;
    RegQueryInfoKeyA(opened.handle(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     &longest_name, &largest_data, nullptr, nullptr);
    std::vector<char> name(std::max<DWORD>(longest_name, 255) + 1);
    std::vector<char> data(std::max<DWORD>(largest_data, MAX_PATH) + 1);
    std::vector<AutorunValue> values;
    for (DWORD index = 0;;) {
        DWORD name_length = static_cast<DWORD>(name.size());
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(data.size() - 1);  // room for a missing NUL
        const LONG error = RegEnumValueA(opened.handle(), index, name.data(), &name_length, nullptr,
                                         &type, reinterpret_cast<BYTE*>(data.data()), &size);
        if (error == ERROR_MORE_DATA) {
            // A value that grew since the key was asked: the same index again
            // with room for it, so that no later value is passed over. One
            // too large to be a command names no program.
            if (name.size() > kMaxValueName && data.size() > kMaxValueData) {
                values.emplace_back();
                ++index;
                continue;
            }
            name.resize(kMaxValueName + 1);
            data.resize(std::min<std::size_t>(
                std::max<std::size_t>({data.size() * 2, std::size_t{size} + 1}),
                kMaxValueData + 1));
            continue;
        }
        if (error != ERROR_SUCCESS)
            break;
        AutorunValue value;
        if (type == REG_SZ || type == REG_EXPAND_SZ) {
            value.kind =
                type == REG_SZ ? AutorunValue::Kind::kString : AutorunValue::Kind::kExpandString;
            value.data = TextUpToNul(data, size);
        }
        values.push_back(std::move(value));
        ++index;
    }
    return values;
}

std::vector<std::string> WindowsAutorunSystem::UserHives() {
    std::vector<std::string> hives;
    for (DWORD index = 0;; ++index) {
        std::array<char, 256> name{};
        DWORD length = static_cast<DWORD>(name.size());
        const LONG error = RegEnumKeyExA(HKEY_USERS, index, name.data(), &length, nullptr, nullptr,
                                         nullptr, nullptr);
        if (error == ERROR_MORE_DATA)
            continue;  // not a hive this scan mounts or knows
        if (error != ERROR_SUCCESS)
            break;
        hives.emplace_back(name.data(), length);
    }
    return hives;
}

std::string WindowsAutorunSystem::IniEntry(const std::string& file, std::string_view section,
                                           std::string_view key) {
    const std::string section_text(section);
    const std::string key_text(key);
    for (DWORD capacity = MAX_PATH;; capacity *= 4) {
        std::vector<char> buffer(capacity, '\0');
        const DWORD length = GetPrivateProfileStringA(section_text.c_str(), key_text.c_str(), "",
                                                      buffer.data(), capacity, file.c_str());
        // A full buffer means the entry may be longer.
        if (length + 1 < capacity || capacity >= kMaxIniEntry)
            return std::string(buffer.data(), std::min<DWORD>(length, capacity - 1));
    }
}

bool WindowsAutorunSystem::ReadLines(const std::string& path,
                                     const std::function<bool(std::string_view line)>& each) {
    InputFile file;
    if (!file.Open(path))
        return false;
    std::vector<std::uint8_t> chunk(kReadChunk);
    std::string line;
    bool line_full = false;
    for (;;) {
        const auto read = file.Read(chunk);
        if (!read || *read == 0)
            break;
        for (std::size_t i = 0; i < *read; ++i) {
            const char c = static_cast<char>(chunk[i]);
            if (c == '\n') {
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                if (!each(line))
                    return true;
                line.clear();
                line_full = false;
            } else if (!line_full) {
                line.push_back(c);
                line_full = line.size() >= kMaxLineBytes;
            }
        }
    }
    if (!line.empty()) {
        if (line.back() == '\r')
            line.pop_back();
        each(line);
    }
    return true;
}

bool WindowsAutorunSystem::Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<std::string> WindowsAutorunSystem::FindOnSearchPath(const std::string& name) {
    std::array<char, MAX_PATH> found{};
    const DWORD length = SearchPathA(nullptr, name.c_str(), nullptr,
                                     static_cast<DWORD>(found.size()), found.data(), nullptr);
    // A longer path could not be opened by the file functions the scan uses.
    if (length == 0 || length >= found.size())
        return std::nullopt;
    return std::string(found.data(), length);
}

std::optional<std::string> WindowsAutorunSystem::ExpandEnvironment(const std::string& text) {
    return ExpandEnvironmentText(text);
}

WindowsAllUsersPlaces::WindowsAllUsersPlaces(const ScanPlaces& places) {
    RegistryKey::Open(places.current_user, std::string(kUserShellFoldersKey), KEY_READ,
                      user_shell_folders_);
}

std::map<std::string, std::string> WindowsAllUsersPlaces::ProfileFolders() {
    return GetUserProfileFolders();
}

std::optional<std::string> WindowsAllUsersPlaces::UserShellFolder(std::string_view name) {
    if (!user_shell_folders_)
        return std::nullopt;
    return user_shell_folders_.GetString(std::string(name));
}

std::optional<std::string> WindowsAllUsersPlaces::ExpandEnvironment(const std::string& text) {
    return ExpandEnvironmentText(text);
}

}  // namespace olvex
