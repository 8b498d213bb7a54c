// The suite's firewall: the Tessaly engine, installed by the engine's own
// setup program from the source's "fw" folder, driven through a small file
// of OEM keys, and removed by the engine's uninstaller. Both programs show
// questions that the dialog watcher answers while they run. The firewall
// upgrade package (code 122) is the same handler with its own version guard,
// permission tests and tables; which of the two sees an installed engine
// depends on whether the engine is unified.
#pragma once

#include "setup/products/product_base.h"

namespace olvex::setup {

inline constexpr char16_t kEngineKey[] = u"SOFTWARE\\Tessaly Labs";
inline constexpr char16_t kEngineProductKey[] = u"SOFTWARE\\Tessaly Labs\\Tessaly";

// The engine is installed on its own (not by the suite): its folder holds
// "alert.tsa" and not the suite edition's companion library.
bool IsStandaloneTessalyInstalled();

class ProductFW : public ProductBase<Product> {
  public:
    ProductFW();

    bool IsInstalled(bool all) override;
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
    std::vector<std::u16string> ShortcutFileNames() override;
    uint32_t WriteRegistrySettings() override;
    uint32_t CopySharedFiles(std::vector<std::u16string>& failures) override;
    uint32_t Uninstall() override;
    uint32_t RemoveRegistrySettings() override;
    uint32_t RemoveFiles() override;
    uint32_t RemoveLeftovers() override;

    // Writes "fwconfig.txt" into the temporary folder; its path is left in
    // `path`. 9041 without a path, 9042 when it could not be written.
    uint32_t WriteInstallConfigFile(std::u16string& path);

  protected:
    ProductFW(const ProductTables& tables, uint32_t code);
    bool IsUpgrade() const { return product_code() == kCodeFirewallUpgrade; }
    // The file version of the engine's setup program: what the upgrade
    // package installs.
    std::u16string GetUpgradeVersion();
    // The tutorial shortcut's name.
    std::u16string TutorialTitle();
};

class ProductFWU : public ProductFW {
  public:
    ProductFWU();

    uint32_t CheckVersion() override;
};

}  // namespace olvex::setup
