// Reading a registry key that refuses the current user: the registry scan
// grants the user access to that one key for the check and then puts the
// key's security back exactly as it was.
//
// The change goes through a handle on the key (opened for READ_CONTROL and
// WRITE_DAC, which an administrator or the key's owner holds even when the
// key refuses reading), not through a security object name: set by name,
// Windows pushes an inheritable entry down into every subkey and derives the
// DACL's protection anew, so the key could not be restored as it was.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "olvex/core/registry_key.h"

namespace olvex {

// The SID of the user the process runs as, from the process token.
std::optional<std::vector<BYTE>> ProcessUserSid();

// The access change for one key. Not copyable; restores on destruction.
class CRegistryKeyAccess {
  public:
    // root: HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_USERS or
    // HKEY_CLASSES_ROOT; path: the key below it.
    CRegistryKeyAccess(HKEY root, std::string path);
    ~CRegistryKeyAccess();
    CRegistryKeyAccess(const CRegistryKeyAccess&) = delete;
    CRegistryKeyAccess& operator=(const CRegistryKeyAccess&) = delete;

    // Puts an entry that allows the current user everything at the head of
    // the key's DACL, ahead of any entry that denies the user. A system error
    // code: 0 on success (also when a grant is already held);
    // ERROR_INVALID_PARAMETER for an empty path.
    LONG Grant();
    // Writes back the security descriptor read before the grant, byte for
    // byte. 0 on success or when nothing is granted.
    LONG Restore();
    bool IsGranted() const { return granted_; }

  private:
    HKEY root_;
    std::string path_;
    RegistryKey key_;          // READ_CONTROL | WRITE_DAC, held while granted
    std::vector<BYTE> saved_;  // the key's own descriptor (DACL part), self-relative
    bool granted_ = false;
};

// A key opened by OpenKeyGrantingAccess. The key closes before the access
// change is undone.
struct GrantedKey {
    std::unique_ptr<CRegistryKeyAccess> access;  // set when a grant was needed
    RegistryKey key;
};

// Opens root\path for `access`. When the key refuses the current user, grants
// access to it and opens it again. The result's error is ERROR_SUCCESS when
// the key is open, ERROR_ACCESS_DENIED when it stays refused (the grant failed
// or did not help), or the open's own error (a missing key: ERROR_FILE_NOT_FOUND).
// The grant is held, and undone, by the result.
GrantedKey OpenKeyGrantingAccess(HKEY root, const std::string& path, REGSAM access, LONG& error);

}  // namespace olvex
