// This machine's registry for the registry scan. Keys are opened for
// KEY_READ with names in the ANSI code page; a refused key is opened, when
// the scan asks for it, through a grant that is undone when the key closes
// (registry_key_access.h).
#pragma once

#include "olvex/scan/registry_scan.h"

namespace olvex {

class SystemRegistryReader final : public RegistryReader {
  public:
    std::unique_ptr<Key> Open(RegistryRoot root, const std::string& path, bool grant_access,
                              OpenError& error) override;
    std::vector<std::string> UserHiveNames() override;
};

}  // namespace olvex
