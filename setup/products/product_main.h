// The suite itself as a product: the security centre program and its
// resident helper, the suite's shared files, the uninstall program and the
// suite's registry key. One object serves the process (Instance); the
// trust-list run makes one of its own.
#pragma once

#include "setup/products/product_base.h"

namespace olvex::setup {

class ProductMain : public ProductBase<SuiteProduct> {
  public:
    ProductMain();

    static ProductMain& Instance();

    bool GetInstalledVersion(std::u16string& version) override;
    bool GetInstalledPath(std::u16string& path, uint32_t& flag) override;
    bool GetInstalledFilesPath(std::u16string& path, uint32_t& flag) override;
    bool GetInstalledGroup(std::u16string& group) override;
    uint32_t CheckOperatingSystem(std::u16string& text) override;
    uint32_t CheckRegistryPermissions(std::u16string& text) override;
    uint32_t CheckDirectoryPermissions(std::u16string& text) override;
    uint32_t CheckPrerequisites(std::u16string& text) override;
    uint32_t CheckUserSessions(std::u16string& text) override;
    uint32_t PrepareInstall(std::u16string& text) override;
    uint32_t Install() override;
    uint32_t FinishInstall() override;
    uint32_t CreateShortcuts() override;
    uint32_t WriteRegistrySettings() override;
    uint32_t CopySharedFiles(std::vector<std::u16string>& failures) override;
    uint32_t PrepareUninstall() override;
    uint32_t Uninstall() override;
    uint32_t RemoveRegistrySettings() override;
    uint32_t RemoveLeftovers() override;

    // The suite's programs are installed with any member: its key names
    // their folder even when no suite entry was written (one member alone).
    bool HasInstalledFiles() override;

    // Asks the suite's programs to end ("-k") and checks that they did:
    // 0, or 9023 when one still runs.
    uint32_t CloseRunningPrograms();

  private:
    std::u16string previous_path_;
};

}  // namespace olvex::setup
