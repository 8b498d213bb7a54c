// The product handlers of the shipped program. Until the members' handlers
// exist, the program makes none, and the suite object is a minimal one:
// always available, never installed, with nothing to do.
#include <windows.h>

#include "setup/controller/product.h"
#include "setup/controller/win/tramlet.h"
#include "setup/core/path_text.h"
#include "setup/core/system_utilities.h"

namespace olvex::setup {
namespace {

class MinimalSuite : public SuiteProduct {
  public:
    bool IsInstalled(bool) override { return false; }
    bool GetInstalledVersion(std::u16string& version) override {
        version = u"0";
        return true;
    }
    bool GetInstalledPath(std::u16string& path, uint32_t& flag) override {
        path.clear();
        flag = 0;
        return false;
    }
    bool GetInstalledFilesPath(std::u16string& path, uint32_t& flag) override {
        return GetInstalledPath(path, flag);
    }
    bool GetInstalledGroup(std::u16string& group) override {
        group.clear();
        return false;
    }
    bool GetSetupFilePath(std::u16string& path, std::optional<std::u16string_view> file) override {
        const auto found = util::GetSetupFilePath(file, std::nullopt);
        path = found.value_or(u"");
        return found.has_value();
    }
    uint32_t CheckVersion() override { return 0; }
    uint32_t CheckOperatingSystem(std::u16string& text) override { return Clear(text); }
    uint32_t CheckRegistryPermissions(std::u16string& text) override { return Clear(text); }
    uint32_t CheckDirectoryPermissions(std::u16string& text) override { return Clear(text); }
    uint32_t CheckPrerequisites(std::u16string& text) override { return Clear(text); }
    uint32_t CheckUserSessions(std::u16string& text) override { return Clear(text); }
    uint32_t PrepareInstall(std::u16string& text) override { return Clear(text); }
    uint32_t Install() override { return 0; }
    uint32_t FinishInstall() override { return 0; }
    uint32_t CreateShortcuts() override { return 0; }
    uint32_t WriteRegistrySettings() override { return 0; }
    uint32_t CopySharedFiles(std::vector<std::u16string>&) override { return 0; }
    uint32_t PrepareUninstall() override { return 0; }
    uint32_t Uninstall() override { return 0; }
    uint32_t RemoveRegistrySettings() override { return 0; }
    uint32_t RemoveFiles() override { return 0; }
    uint32_t RemoveLeftovers() override { return 0; }
    bool IsAvailable() override { return true; }
    uint32_t GetProductCode() override {
        return util::ParseDecimal(util::LoadResourceString(nullptr, 22237, 64));
    }
    std::u16string GetDisplayName() override { return LoadProductString(22006); }
    std::u16string LoadProductString(uint32_t id) override {
        return util::LoadResourceString(nullptr, id, 512);
    }
    uint32_t CheckRequirements(std::u16string& text) override { return Clear(text); }
    uint32_t FinishUninstall() override { return 0; }
    uint32_t Cleanup() override { return 0; }

  private:
    static uint32_t Clear(std::u16string& text) {
        text.clear();
        return 0;
    }
};

class ShippedProducts : public ProductFactory {
  public:
    SuiteProduct& Suite() override { return suite_; }
    std::unique_ptr<Product> Create(ProductKind) override { return nullptr; }
    bool IsStandaloneAntiSpamInstalled() override { return false; }
    bool IsStandaloneFirewallEngineInstalled() override { return false; }

  private:
    MinimalSuite suite_;
};

}  // namespace
}  // namespace olvex::setup

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    static olvex::setup::ShippedProducts products;
    return olvex::setup::RunTramlet(products);
}
