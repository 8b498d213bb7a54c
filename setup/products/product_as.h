// The suite's anti-spam member: a mail filter with an Outlook add-in,
// installed by its own setup program ("Anti-Spam.exe" in the source's "as"
// folder) and removed by its update program ("z-update.exe"). A stand-alone
// installation of the same product is a competitor the suite replaces;
// the cleanup leaves one alone.
#pragma once

#include "setup/products/product_base.h"

namespace olvex::setup {

// The folder the product's registration names holds the update program
// but not the suite edition's companion library.
bool IsStandaloneAntiSpamInstalled();

class ProductAS : public ProductBase<Product> {
  public:
    ProductAS();

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
    uint32_t PrepareUninstall() override;
    uint32_t Uninstall() override;
    uint32_t RemoveRegistrySettings() override;
    uint32_t RemoveFiles() override;
    uint32_t RemoveLeftovers() override;

  private:
    // The installed program folder; empty when unknown.
    std::u16string ProgramFolder();
    // Deletes the files folder an earlier install used when this install
    // put the product elsewhere.
    void RemovePreviousFilesFolder();

    // The installed files folder before this install.
    std::u16string previous_files_path_;
};

}  // namespace olvex::setup
