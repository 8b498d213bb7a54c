// What the setup operations know of a member of the suite: one Product
// object per member, driven through its virtual operations in a fixed
// order, and the suite itself as a product of its own. The operations never
// know which member they hold; the product handlers give each operation its
// behaviour. Handlers are made through one process-wide factory, so a test
// can hand the operations products of its own.
//
// Texts are UTF-16. An operation with a text argument clears it first and,
// on failure, leaves its error text there (a name, folder, key or version).
// Results are 0 or a setup result code (9002-9044).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace olvex::setup {

// The suite's members, in the order install and uninstall list them.
enum class ProductKind {
    kAntiSpyware,      // "qz"
    kAntiSpam,         // "as"
    kAntivirus,        // "av"
    kFirewall,         // "fw"
    kFirewallUpgrade,  // "fwu"
};

inline constexpr ProductKind kMemberOrder[] = {ProductKind::kAntiSpyware, ProductKind::kAntiSpam,
                                               ProductKind::kAntivirus, ProductKind::kFirewall,
                                               ProductKind::kFirewallUpgrade};

// Package codes: string 22237 of a member's product DLL names the member
// its package holds.
inline constexpr uint32_t kCodeAntivirus = 121;
inline constexpr uint32_t kCodeFirewallUpgrade = 122;
inline constexpr uint32_t kCodeSuiteEarlier = 123;
inline constexpr uint32_t kCodeFirewall = 131;
inline constexpr uint32_t kCodeAntiSpam = 136;
inline constexpr uint32_t kCodeAntiSpyware = 137;
inline constexpr uint32_t kCodeSuite = 140;

class Product {
  public:
    Product() = default;
    virtual ~Product() = default;
    Product(const Product&) = delete;
    Product& operator=(const Product&) = delete;

    // --- The product's own operations, in the order of its table ---

    // Whether an uninstall entry with an UninstallString names the product:
    // its own entry and the suite's entry for it, with `all` also those of
    // earlier editions.
    virtual bool IsInstalled(bool all) = 0;
    // The installed version, "0" when not installed; true when it gave text.
    virtual bool GetInstalledVersion(std::u16string& version) = 0;
    // The installed program folder; `flag` is the product's own extra fact
    // (the suite gives its generation there).
    virtual bool GetInstalledPath(std::u16string& path, uint32_t& flag) = 0;
    // The folder holding the installed product DLL, shared DLLs and the
    // uninstall program.
    virtual bool GetInstalledFilesPath(std::u16string& path, uint32_t& flag) = 0;
    virtual bool GetInstalledGroup(std::u16string& group) = 0;
    // A file of the product's folder in the setup source (the folder itself
    // without a file).
    virtual bool GetSetupFilePath(std::u16string& path,
                                  std::optional<std::u16string_view> file) = 0;
    virtual uint32_t CheckVersion() = 0;
    virtual uint32_t CheckOperatingSystem(std::u16string& text) = 0;
    virtual uint32_t CheckRegistryPermissions(std::u16string& text) = 0;
    virtual uint32_t CheckDirectoryPermissions(std::u16string& text) = 0;
    virtual uint32_t CheckPrerequisites(std::u16string& text) = 0;
    virtual uint32_t CheckUserSessions(std::u16string& text) = 0;
    virtual uint32_t PrepareInstall(std::u16string& text) = 0;
    virtual uint32_t Install() = 0;
    virtual uint32_t FinishInstall() = 0;
    virtual uint32_t CreateShortcuts() = 0;
    virtual uint32_t WriteRegistrySettings() = 0;
    // Failed copies are added to the list by name.
    virtual uint32_t CopySharedFiles(std::vector<std::u16string>& failures) = 0;
    virtual uint32_t PrepareUninstall() = 0;
    virtual uint32_t Uninstall() = 0;
    virtual uint32_t RemoveRegistrySettings() = 0;
    virtual uint32_t RemoveFiles() = 0;
    virtual uint32_t RemoveLeftovers() = 0;

    // --- What every product shares, as the operations call it ---

    // Whether the package in the setup source is this product's: once set,
    // the flag stays; an uninstall leaves it to the operation.
    virtual bool IsAvailable() = 0;
    // The code string 22237 of the product's package carries; 0 when none.
    virtual uint32_t GetProductCode() = 0;
    // The product's name (string 22006 of its product DLL).
    virtual std::u16string GetDisplayName() = 0;
    // A string of the product's own product DLL; empty when missing.
    virtual std::u16string LoadProductString(uint32_t id) = 0;
    // Runs every requirement check of the running operation's mode; the
    // first failure decides.
    virtual uint32_t CheckRequirements(std::u16string& text) = 0;
    // After the product's own uninstaller: shortcuts, registry, uninstall
    // entries, the clean-up copy for the next start, files.
    virtual uint32_t FinishUninstall() = 0;
    // Removes what an uninstalled product left behind.
    virtual uint32_t Cleanup() = 0;
    // Adds the installed product's programs to the firewall's trust list
    // (with replace an entry is made anew); 0, or 9036 when a program could
    // not be named. Products without programs there have nothing to add.
    virtual uint32_t AddToTrustList(bool /*replace*/, bool /*retry*/) { return 0; }

    // --- Flags the operations and the selection dialog set ---

    // The code the product's package must carry.
    uint32_t product_code() const { return product_code_; }
    bool available() const { return available_; }
    bool installable() const { return installable_; }
    bool offered() const { return offered_; }
    bool selected() const { return selected_; }
    int32_t control_id() const { return control_id_; }

    void SetAvailable(bool value) { available_ = value; }
    void SetInstallable(bool value) { installable_ = value; }
    void SetOffered(bool value) { offered_ = value; }
    void SetSelected(bool value) { selected_ = value; }
    void SetControlId(int32_t id) { control_id_ = id; }

  protected:
    void set_product_code(uint32_t code) { product_code_ = code; }

  private:
    bool available_ = false;
    bool installable_ = false;
    bool offered_ = true;
    bool selected_ = false;
    uint32_t product_code_ = 0;
    int32_t control_id_ = 0;
};

// The suite as a product: one object for the process, never part of an
// operation's list (install handles it before and after the members,
// uninstall and cleanup after them).
class SuiteProduct : public Product {
  public:
    // Several products are handled as one suite; sets the selected flag with
    // it.
    void SetSuiteSelected(bool value) {
        suite_active_ = value;
        SetSelected(value);
    }
    bool suite_active() const { return suite_active_; }

    void SetInstallSuiteFiles(bool value) { install_suite_files_ = value; }
    bool install_suite_files() const { return install_suite_files_; }

    // The code also picks the variant: 123 -> 1, 140 -> 2, else 0.
    void SetProductCode(uint32_t code) {
        set_product_code(code);
        variant_ = code == kCodeSuiteEarlier ? 1 : code == kCodeSuite ? 2 : 0;
    }
    // The variant an installed suite's generation is compared with.
    uint32_t variant() const { return variant_; }

    // The product whose name stands in the suite's messages.
    void SetPrimaryProduct(Product* product) { primary_product_ = product; }
    Product* primary_product() const { return primary_product_; }

  protected:
    SuiteProduct() {
        SetAvailable(true);
        SetProductCode(kCodeSuite);
    }

  private:
    bool suite_active_ = false;
    bool install_suite_files_ = true;
    uint32_t variant_ = 2;
    Product* primary_product_ = nullptr;
};

class SetupOperation;
struct OperationContext;

// Makes the product handlers. The program installs one at start; tests
// install their own.
class ProductFactory {
  public:
    virtual ~ProductFactory() = default;
    // The process's suite object.
    virtual SuiteProduct& Suite() = 0;
    // A member's handler; null when it cannot be made.
    virtual std::unique_ptr<Product> Create(ProductKind kind) = 0;
    // The stand-alone editions the cleanup must leave alone.
    virtual bool IsStandaloneAntiSpamInstalled() = 0;
    virtual bool IsStandaloneFirewallEngineInstalled() = 0;
    // The trust-list operation (it builds its own suite object); null when
    // this program has none.
    virtual std::unique_ptr<SetupOperation> CreateTrustListOperation(const OperationContext&);
};

void SetProductFactory(ProductFactory* factory);
// The installed factory; the program sets one before any operation runs.
ProductFactory& Products();

}  // namespace olvex::setup
