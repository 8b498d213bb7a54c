// The product handlers of the shipped program: the suite, this product,
// the anti-spam and antivirus members and the firewall (with its upgrade
// package).
#include <windows.h>

#include "setup/controller/product.h"
#include "setup/controller/win/tramlet.h"
#include "setup/products/product_as.h"
#include "setup/products/product_av.h"
#include "setup/products/product_fw.h"
#include "setup/products/product_main.h"
#include "setup/products/product_qz.h"
#include "setup/products/trust_list_operation.h"

namespace olvex::setup {
namespace {

class ShippedProducts : public ProductFactory {
  public:
    SuiteProduct& Suite() override { return ProductMain::Instance(); }
    std::unique_ptr<Product> Create(ProductKind kind) override {
        switch (kind) {
            case ProductKind::kAntiSpyware:
                return std::make_unique<ProductQZ>();
            case ProductKind::kAntiSpam:
                return std::make_unique<ProductAS>();
            case ProductKind::kAntivirus:
                return std::make_unique<ProductAV>();
            case ProductKind::kFirewall:
                return std::make_unique<ProductFW>();
            case ProductKind::kFirewallUpgrade:
                return std::make_unique<ProductFWU>();
            default:
                return nullptr;
        }
    }
    bool IsStandaloneAntiSpamInstalled() override { return setup::IsStandaloneAntiSpamInstalled(); }
    bool IsStandaloneFirewallEngineInstalled() override {
        return setup::IsStandaloneTessalyInstalled();
    }
    std::unique_ptr<SetupOperation> CreateTrustListOperation(
        const OperationContext& context) override {
        return std::make_unique<TrustListOperation>(context);
    }
};

}  // namespace
}  // namespace olvex::setup

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    static olvex::setup::ShippedProducts products;
    return olvex::setup::RunTramlet(products);
}
