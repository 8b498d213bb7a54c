// The antivirus member of the suite: its own setup program ("setup.exe" in
// the source's "av" folder) installs it silently into the folder the suite
// chooses, its uninstaller ("unnim32.exe" in the Windows folder) removes
// it. Before either runs, the programs of the installed edition and of
// earlier antivirus editions are closed; before an install, other vendors'
// antivirus products are removed.
#pragma once

#include "setup/products/product_base.h"

namespace olvex::setup {

// The installed antivirus edition's id ("ProductId" of its key), 0 when
// missing: it tells which earlier programs may run.
uint32_t GetAntivirusProductId();

class ProductAV : public ProductBase<Product> {
  public:
    ProductAV();

    bool GetInstalledVersion(std::u16string& version) override;
    bool GetInstalledPath(std::u16string& path, uint32_t& flag) override;
    bool GetInstalledFilesPath(std::u16string& path, uint32_t& flag) override;
    bool GetInstalledGroup(std::u16string& group) override;
    uint32_t CheckVersion() override;
    uint32_t CheckOperatingSystem(std::u16string& text) override;
    uint32_t CheckRegistryPermissions(std::u16string& text) override;
    uint32_t CheckDirectoryPermissions(std::u16string& text) override;
    uint32_t CheckPrerequisites(std::u16string& text) override;
    uint32_t CheckUserSessions(std::u16string& text) override;
    uint32_t PrepareInstall(std::u16string& text) override;
    uint32_t Install() override;
    uint32_t FinishInstall() override;
    uint32_t CreateShortcuts() override;
    std::vector<std::u16string> ShortcutFileNames() override;
    uint32_t WriteRegistrySettings() override;
    uint32_t CopySharedFiles(std::vector<std::u16string>& failures) override;
    uint32_t PrepareUninstall() override;
    uint32_t Uninstall() override;
    uint32_t RemoveRegistrySettings() override;
    uint32_t RemoveFiles() override;

    // Closes the programs of the installed antivirus edition and of the
    // earlier editions its id names: 0, or 9023 when one still runs.
    uint32_t CloseRunningPrograms();
};

}  // namespace olvex::setup
