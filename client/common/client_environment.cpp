#include "client/common/client_environment.h"

#include <shlobj.h>

#include <array>
#include <cstdio>
#include <vector>

namespace olvex {
namespace {

std::optional<std::string> ShellFolder(int csidl) {
    std::array<char, MAX_PATH> path{};
    if (FAILED(SHGetFolderPathA(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT,
                                path.data())) ||
        path[0] == '\0')
        return std::nullopt;
    std::string folder(path.data());
    while (folder.size() > 3 && folder.back() == '\\')
        folder.pop_back();
    return folder;
}

std::optional<std::string> RegisteredInstallFolder() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProductRegistryKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    std::string folder;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key, kInstallPathValue, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        type == REG_SZ && size > 0 && size < 32768) {
        std::vector<char> data(size + 1, '\0');
        if (RegQueryValueExA(key, kInstallPathValue, nullptr, &type,
                             reinterpret_cast<BYTE*>(data.data()), &size) == ERROR_SUCCESS &&
            type == REG_SZ) {
            folder = data.data();  // up to the first zero, whatever the size said
        }
    }
    RegCloseKey(key);
    if (folder.empty())
        return std::nullopt;
    return folder;
}

class SystemFolders final : public ClientFolders {
  public:
    std::optional<std::string> CommonAppData() const override {
        return ShellFolder(CSIDL_COMMON_APPDATA);
    }
    std::optional<std::string> CommonProgramFiles() const override {
        return ShellFolder(CSIDL_PROGRAM_FILES_COMMON);
    }
    std::optional<std::string> InstallFolder() const override {
        auto folder = RegisteredInstallFolder();
        if (!folder) {
            std::array<char, MAX_PATH> current{};
            const DWORD length =
                GetCurrentDirectoryA(static_cast<DWORD>(current.size()), current.data());
            if (length == 0 || length >= current.size())
                return std::nullopt;
            folder = std::string(current.data(), length);
        }
        if (folder->back() != '\\')
            *folder += '\\';
        return folder;
    }
};

class SystemClock final : public ClientClock {
  public:
    SYSTEMTIME LocalTime() const override {
        SYSTEMTIME now{};
        GetLocalTime(&now);
        return now;
    }
    void Sleep(DWORD milliseconds) const override { ::Sleep(milliseconds); }
};

const ClientFolders* g_folders = nullptr;
const ClientClock* g_clock = nullptr;

bool MakeFolder(const std::string& path) {
    if (CreateDirectoryA(path.c_str(), nullptr))
        return true;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

const ClientFolders& SystemClientFolders() {
    static const SystemFolders folders;
    return folders;
}

const ClientClock& SystemClientClock() {
    static const SystemClock clock;
    return clock;
}

const ClientFolders& CurrentClientFolders() {
    return g_folders != nullptr ? *g_folders : SystemClientFolders();
}

const ClientClock& CurrentClientClock() {
    return g_clock != nullptr ? *g_clock : SystemClientClock();
}

ScopedClientFolders::ScopedClientFolders(const ClientFolders& folders) : previous_(g_folders) {
    g_folders = &folders;
}

ScopedClientFolders::~ScopedClientFolders() {
    g_folders = previous_;
}

ScopedClientClock::ScopedClientClock(const ClientClock& clock) : previous_(g_clock) {
    g_clock = &clock;
}

ScopedClientClock::~ScopedClientClock() {
    g_clock = previous_;
}

ProductFolder MakeProductDataFolder() {
    ProductFolder result;
    const auto common = CurrentClientFolders().CommonAppData();
    if (!common) {
        result.error = ProductFolderError::kNoCommonAppData;
        return result;
    }
    const std::string company = JoinPath(*common, kCompanyFolderName);
    if (!MakeFolder(company)) {
        result.error = ProductFolderError::kCompanyFolder;
        return result;
    }
    const std::string product = JoinPath(company, kProductFolderName);
    if (!MakeFolder(product)) {
        result.error = ProductFolderError::kProductFolder;
        return result;
    }
    result.path = product + '\\';
    return result;
}

bool CanCreateFile(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "w+");
    if (file == nullptr)
        return false;
    std::fclose(file);
    return std::remove(path.c_str()) == 0;
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (!path.empty() && path.back() != '\\' && path.back() != '/')
        path += '\\';
    while (!name.empty() && (name.front() == '\\' || name.front() == '/'))
        name.remove_prefix(1);
    path += name;
    return path;
}

std::string FormatDateTime(const SYSTEMTIME& local, LCID locale) {
    std::array<char, 128> date{};
    std::array<char, 128> time{};
    if (GetDateFormatA(locale, 0, &local, nullptr, date.data(), static_cast<int>(date.size())) == 0)
        date[0] = '\0';
    if (GetTimeFormatA(locale, 0, &local, nullptr, time.data(), static_cast<int>(time.size())) == 0)
        time[0] = '\0';
    return std::string(date.data()) + "-" + time.data();
}

std::string FormatCurrentDateTime(LCID locale) {
    return FormatDateTime(CurrentClientClock().LocalTime(), locale);
}

std::uint64_t FileTimeOf(const SYSTEMTIME& time) {
    FILETIME file_time{};
    if (!SystemTimeToFileTime(&time, &file_time))
        return 0;
    return (static_cast<std::uint64_t>(file_time.dwHighDateTime) << 32) | file_time.dwLowDateTime;
}

}  // namespace olvex
