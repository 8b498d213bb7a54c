// This product as a member of the suite: the engine, the main program,
// background protection and the update programs, installed by its own
// Windows Installer package into the folder the suite chooses. The handler
// keeps the package's own registration out of Add/Remove Programs while the
// suite's uninstaller stands in for it, and restores it whenever the
// package must run again.
#pragma once

#include "setup/products/product_base.h"

namespace olvex::setup {

inline constexpr char16_t kProductQzKey[] = u"SOFTWARE\\Vorandel\\KelvanGorsewatch";
inline constexpr char16_t kProductQzCode[] = u"{69383EC0-27AB-4173-A77C-2F2FB034E57F}";

class ProductQZ : public ProductBase<Product> {
  public:
    ProductQZ();

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
    uint32_t RemoveFiles() override;

  private:
    // The Windows Installer's registration shown (for the package's own
    // runs) or hidden (the suite's entry stands in).
    void ShowInstallerRegistration();
    void HideInstallerRegistration();
};

}  // namespace olvex::setup
