#include "olvex/scan/system_registry.h"

#include <windows.h>

#include <array>

#include "olvex/scan/registry_key_access.h"

namespace olvex {
namespace {

HKEY RootKey(RegistryRoot root) {
    switch (root) {
        case RegistryRoot::kClassesRoot:
            return HKEY_CLASSES_ROOT;
        case RegistryRoot::kCurrentUser:
            return HKEY_CURRENT_USER;
        case RegistryRoot::kLocalMachine:
            return HKEY_LOCAL_MACHINE;
        case RegistryRoot::kUsers:
            break;
    }
    return HKEY_USERS;
}

// Names under HKEY_USERS are read up to this many characters.
constexpr DWORD kHiveNameChars = 1024;

class SystemKey final : public RegistryReader::Key {
  public:
    explicit SystemKey(GrantedKey opened) : opened_(std::move(opened)) {}

    std::optional<RegistryValue> Query(const std::string& value_name) override {
        // One byte more than a query may fill, zeroed, as the value test
        // has always read values.
        std::array<BYTE, kRegistryValueBytes + 1> buffer{};
        DWORD type = REG_BINARY;
        DWORD size = kRegistryValueBytes;
        if (RegQueryValueExA(opened_.key.handle(), value_name.c_str(), nullptr, &type,
                             buffer.data(), &size) != ERROR_SUCCESS ||
            size > kRegistryValueBytes) {
            return std::nullopt;
        }
        return RegistryValue{type,
                             std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + size)};
    }

  private:
    GrantedKey opened_;
};

}  // namespace

std::unique_ptr<RegistryReader::Key> SystemRegistryReader::Open(RegistryRoot root,
                                                                const std::string& path,
                                                                bool grant_access,
                                                                OpenError& error) {
    LONG status = ERROR_SUCCESS;
    GrantedKey opened;
    if (grant_access)
        opened = OpenKeyGrantingAccess(RootKey(root), path, KEY_READ, status);
    else
        status = RegistryKey::Open(RootKey(root), path, KEY_READ, opened.key);
    if (status != ERROR_SUCCESS) {
        error = status == ERROR_ACCESS_DENIED ? OpenError::kAccessDenied : OpenError::kOther;
        return nullptr;
    }
    error = OpenError::kNone;
    return std::make_unique<SystemKey>(std::move(opened));
}

std::vector<std::string> SystemRegistryReader::UserHiveNames() {
    std::vector<std::string> names;
    std::array<char, kHiveNameChars + 1> name{};
    for (DWORD index = 0; RegEnumKeyA(HKEY_USERS, index, name.data(),
                                      static_cast<DWORD>(name.size())) == ERROR_SUCCESS;
         ++index) {
        names.emplace_back(name.data());
    }
    return names;
}

}  // namespace olvex
