// Products a test describes: whether each one is available, what its checks
// give, whether it is installed and with which version, and what each of
// its steps returns. Every call is recorded as "<name>:<operation>", so a
// test sees which steps ran in which order. Used by the native tests and by
// the test build of the setup program.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "setup/controller/product.h"
#include "setup/controller/setup_operation.h"
#include "setup/core/setup_options.h"
#include "setup/core/setup_text.h"

namespace olvex::setup::fakes {

struct ProductSpec {
    std::string name = "Fake";         // its display name (ASCII)
    uint32_t code = kCodeAntiSpyware;  // the code its package must carry
    uint32_t package_code = kCodeAntiSpyware;
    bool available = true;  // install mode: whether the source holds it
    bool installed = false;
    std::string version = "1.0";
    bool version_readable = true;
    std::string installed_path;
    uint32_t path_flag = 0;  // the suite: its generation
    std::string installed_group;
    uint32_t checks = 0;  // what CheckRequirements gives
    std::string check_text;
    // Result of a step by its name ("PrepareInstall", "Uninstall", ...); 0
    // when not listed.
    std::map<std::string, uint32_t> steps;
    // A successful uninstall leaves the product not installed.
    bool uninstall_removes = true;
    // Strings of its product DLL by id.
    std::map<uint32_t, std::string> strings;
    // Its installer and uninstaller ask for a restart when they succeed.
    bool restart = false;
};

using Recorder = std::function<void(const std::string& line)>;
// Called at each step with the step's name before it returns; a test
// build does its extras there (progress, dialogs).
using StepHook = std::function<void(const std::string& product, const std::string& step)>;

template <class Base>
class FakeBase : public Base {
  public:
    FakeBase(ProductSpec spec, Recorder record, StepHook hook)
        : spec_(std::move(spec)), record_(std::move(record)), hook_(std::move(hook)) {}

    ProductSpec& spec() { return spec_; }

    bool IsInstalled(bool all) override { return spec_.installed; }
    bool GetInstalledVersion(std::u16string& version) override {
        version = spec_.installed ? FromAscii(spec_.version) : u"0";
        return spec_.version_readable;
    }
    bool GetInstalledPath(std::u16string& path, uint32_t& flag) override {
        path = FromAscii(spec_.installed_path);
        flag = spec_.path_flag;
        return !path.empty();
    }
    bool GetInstalledFilesPath(std::u16string& path, uint32_t& flag) override {
        return GetInstalledPath(path, flag);
    }
    bool GetInstalledGroup(std::u16string& group) override {
        group = FromAscii(spec_.installed_group);
        return !group.empty();
    }
    bool GetSetupFilePath(std::u16string& path, std::optional<std::u16string_view>) override {
        path.clear();
        return false;
    }
    uint32_t CheckVersion() override { return Step("CheckVersion"); }
    uint32_t CheckOperatingSystem(std::u16string& text) override { return Check(text); }
    uint32_t CheckRegistryPermissions(std::u16string& text) override { return Check(text); }
    uint32_t CheckDirectoryPermissions(std::u16string& text) override { return Check(text); }
    uint32_t CheckPrerequisites(std::u16string& text) override { return Check(text); }
    uint32_t CheckUserSessions(std::u16string& text) override { return Check(text); }
    uint32_t PrepareInstall(std::u16string& text) override {
        text.clear();
        return Step("PrepareInstall");
    }
    uint32_t Install() override {
        const uint32_t code = Step("Install");
        if (code == 0) {
            spec_.installed = true;
            AskForRestart();
        }
        return code;
    }
    uint32_t FinishInstall() override { return Step("FinishInstall"); }
    uint32_t CreateShortcuts() override { return Step("CreateShortcuts"); }
    uint32_t WriteRegistrySettings() override { return Step("WriteRegistrySettings"); }
    uint32_t CopySharedFiles(std::vector<std::u16string>&) override {
        return Step("CopySharedFiles");
    }
    uint32_t PrepareUninstall() override { return Step("PrepareUninstall"); }
    uint32_t Uninstall() override {
        const uint32_t code = Step("Uninstall");
        if (code == 0) {
            AskForRestart();
        }
        return code;
    }
    uint32_t RemoveRegistrySettings() override { return Step("RemoveRegistrySettings"); }
    uint32_t RemoveFiles() override { return Step("RemoveFiles"); }
    uint32_t RemoveLeftovers() override { return Step("RemoveLeftovers"); }

    bool IsAvailable() override {
        const SetupOperation* operation = GetCurrentOperation();
        if (!this->available() && !(operation && operation->mode() == kModeUninstall)) {
            this->SetAvailable(spec_.available && this->product_code() == GetProductCode());
        }
        return this->available();
    }
    uint32_t GetProductCode() override { return spec_.package_code; }
    std::u16string GetDisplayName() override { return FromAscii(spec_.name); }
    std::u16string LoadProductString(uint32_t id) override {
        const auto found = spec_.strings.find(id);
        if (found == spec_.strings.end()) {
            // String 22006 of a product's DLL is its name.
            return id == 22006 ? GetDisplayName() : std::u16string();
        }
        return FromAscii(found->second);
    }
    uint32_t CheckRequirements(std::u16string& text) override {
        text.clear();
        if (!this->available()) {
            return 0;
        }
        const uint32_t code = Step("CheckRequirements");
        if (code == 0 && spec_.checks != 0) {
            text = FromAscii(spec_.check_text);
            return spec_.checks;
        }
        return code;
    }
    uint32_t FinishUninstall() override {
        const uint32_t code = Step("FinishUninstall");
        if (code == 0 && spec_.uninstall_removes) {
            spec_.installed = false;
        }
        return code;
    }
    uint32_t Cleanup() override { return Step("Cleanup"); }

  protected:
    void AskForRestart() {
        if (SetupOperation* operation = GetCurrentOperation(); operation && spec_.restart) {
            operation->RequestRestart();
        }
    }
    uint32_t Step(const std::string& step) {
        if (record_) {
            record_(spec_.name + ":" + step);
        }
        if (hook_) {
            hook_(spec_.name, step);
        }
        const auto found = spec_.steps.find(step);
        return found != spec_.steps.end() ? found->second : 0;
    }
    uint32_t Check(std::u16string& text) {
        text.clear();
        return 0;
    }

    ProductSpec spec_;
    Recorder record_;
    StepHook hook_;
};

class FakeProduct : public FakeBase<Product> {
  public:
    FakeProduct(ProductSpec spec, Recorder record, StepHook hook = {})
        : FakeBase<Product>(std::move(spec), std::move(record), std::move(hook)) {
        set_product_code(spec_.code);
    }
};

class FakeSuite : public FakeBase<SuiteProduct> {
  public:
    FakeSuite(ProductSpec spec, Recorder record, StepHook hook = {})
        : FakeBase<SuiteProduct>(std::move(spec), std::move(record), std::move(hook)) {}
    // The suite is always there to be handled.
    bool IsAvailable() override { return true; }
};

// A factory over specs by member; a member without a spec cannot be made.
class FakeFactory : public ProductFactory {
  public:
    FakeFactory(ProductSpec suite, Recorder record, StepHook hook = {})
        : record_(record), hook_(hook), suite_(std::move(suite), record, hook) {}

    std::map<ProductKind, ProductSpec> members;
    bool standalone_anti_spam = false;
    bool standalone_firewall_engine = false;

    SuiteProduct& Suite() override { return suite_; }
    FakeSuite& fake_suite() { return suite_; }
    std::unique_ptr<Product> Create(ProductKind kind) override {
        const auto found = members.find(kind);
        if (found == members.end()) {
            return nullptr;
        }
        return std::make_unique<FakeProduct>(found->second, record_, hook_);
    }
    bool IsStandaloneAntiSpamInstalled() override { return standalone_anti_spam; }
    bool IsStandaloneFirewallEngineInstalled() override { return standalone_firewall_engine; }

  private:
    Recorder record_;
    StepHook hook_;
    FakeSuite suite_;
};

}  // namespace olvex::setup::fakes
