#include "setup/controller/operations.h"
#include "setup/core/setup_logger.h"
#include "setup/core/setup_options.h"
#include "setup/core/setup_text.h"

namespace olvex::setup {

CleanupOperation::CleanupOperation(const OperationContext& context)
    : SetupOperation(context, kModeCleanup) {}

// Cleanup works on members that are not installed any more; the suite's
// own leftovers go only when no member is installed.
void CleanupOperation::BuildProducts() {
    ProductFactory& factory = context().products;
    bool any_installed = false;
    // Added when not installed. A member this program has no handler for
    // was never installed by it and holds nothing back.
    const auto add_when_gone = [&](ProductKind kind, bool (ProductFactory::*standalone)()) {
        std::unique_ptr<Product> product = factory.Create(kind);
        if (!product) {
            return;
        }
        if (product->IsInstalled(true)) {
            any_installed = true;
            return;
        }
        if (standalone == nullptr || !(factory.*standalone)()) {
            AddProduct(std::move(product));
        }
    };
    add_when_gone(ProductKind::kAntiSpyware, nullptr);
    add_when_gone(ProductKind::kAntiSpam, &ProductFactory::IsStandaloneAntiSpamInstalled);
    add_when_gone(ProductKind::kAntivirus, nullptr);

    std::unique_ptr<Product> firewall = factory.Create(ProductKind::kFirewall);
    std::unique_ptr<Product> upgrade = factory.Create(ProductKind::kFirewallUpgrade);
    const bool firewall_installed = firewall && firewall->IsInstalled(true);
    const bool upgrade_installed = upgrade && upgrade->IsInstalled(true);
    if (!firewall_installed && !upgrade_installed) {
        if (!factory.IsStandaloneFirewallEngineInstalled()) {
            AddProduct(std::move(firewall));
            AddProduct(std::move(upgrade));
        }
    } else {
        any_installed = true;
    }

    if (!any_installed) {
        suite().SetSuiteSelected(true);
        AddSuite(suite());
    }
}

uint32_t CleanupOperation::Prepare() {
    context().logger.Info(25548);
    BuildProducts();
    return result();
}

uint32_t CleanupOperation::SelectProducts() {
    return result();
}

uint32_t CleanupOperation::Execute() {
    for (Product* product : products()) {
        if (product == &suite() || !product->IsInstalled(true)) {
            product->SetAvailable(true);
            product->SetSelected(true);
            product->RemoveLeftovers();
            product->Cleanup();
        }
    }
    if (StartsWithNoCase(context().host.ModuleFileName(), u"xjcu_")) {
        context().host.RemoveCleanupCopies();
    }
    return result();
}

void CleanupOperation::ClearProducts() {
    DeleteProducts();
}

}  // namespace olvex::setup
