#include "olvex/core/special_folders.h"

#include <windows.h>
#include <shlobj.h>

#include <array>

#include "olvex/core/os_utilities.h"
#include "win/unique.h"

namespace olvex {
namespace {

constexpr DWORD kFolderBuffer = 4096;

HKEY RootKey(ShellFoldersRoot root) {
    return root == ShellFoldersRoot::kCurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

// The "Shell Folders" key, open for reading, closed when it goes.
class ShellFoldersKey {
  public:
    explicit ShellFoldersKey(ShellFoldersRoot root) {
        const std::string path(kShellFoldersKey);
        if (RegOpenKeyExA(RootKey(root), path.c_str(), 0, KEY_READ, key_.put()) != ERROR_SUCCESS)
            key_.release();
    }
    ShellFoldersKey(const ShellFoldersKey&) = delete;
    ShellFoldersKey& operator=(const ShellFoldersKey&) = delete;

    bool IsOpen() const { return static_cast<bool>(key_); }
    std::optional<std::string> Value(std::string_view name) const {
        if (!key_)
            return std::nullopt;
        std::array<char, kFolderBuffer> data{};
        DWORD type = 0;
        DWORD size = kFolderBuffer - 1;  // room for a terminator the value may lack
        const std::string value_name(name);
        if (RegQueryValueExA(key_.get(), value_name.c_str(), nullptr, &type,
                             reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ))
            return std::nullopt;
        return std::string(data.data());
    }

  private:
    win::UniqueKey key_;
};

template <typename Call>
std::optional<std::string> FolderFrom(Call call) {
    std::array<char, kFolderBuffer> buffer{};
    const UINT length = call(buffer.data(), kFolderBuffer);
    if (length == 0 || length >= kFolderBuffer)
        return std::nullopt;
    return std::string(buffer.data(), length);
}

}  // namespace

std::optional<std::string> SystemSpecialFolders::ShellFolder(int csidl) const {
    std::array<char, kFolderBuffer> buffer{};
    if (FAILED(SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer.data())))
        return std::nullopt;
    return std::string(buffer.data());
}

bool SystemSpecialFolders::ShellFoldersKeyOpens(ShellFoldersRoot root) const {
    return ShellFoldersKey(root).IsOpen();
}

std::optional<std::string> SystemSpecialFolders::ShellFoldersValue(ShellFoldersRoot root,
                                                                   std::string_view name) const {
    return ShellFoldersKey(root).Value(name);
}

std::optional<std::string> SystemSpecialFolders::WindowsFolder() const {
    return FolderFrom([](char* buffer, UINT size) { return GetWindowsDirectoryA(buffer, size); });
}

std::optional<std::string> SystemSpecialFolders::SystemFolder() const {
    return FolderFrom([](char* buffer, UINT size) { return GetSystemDirectoryA(buffer, size); });
}

std::optional<std::string> SystemSpecialFolders::UserName() const {
    std::array<char, 257> buffer{};
    DWORD size = static_cast<DWORD>(buffer.size());
    if (!GetUserNameA(buffer.data(), &size))
        return std::nullopt;
    return std::string(buffer.data());
}

bool SystemSpecialFolders::IsWin9x() const {
    return IsWin9xPlatform();
}

bool SystemSpecialFolders::IsNt4OrOlder() const {
    return GetWindowsVersionCode() == 6;
}

const SpecialFolderSource& TheSpecialFolders() {
    static const SystemSpecialFolders folders;
    return folders;
}

}  // namespace olvex
