#include "setup/products/trust_list_operation.h"

#include "setup/core/setup_logger.h"
#include "setup/core/setup_options.h"
#include "setup/core/setup_text.h"
#include "setup/core/system_utilities.h"
#include "setup/products/product_base.h"
#include "setup/products/product_main.h"

namespace olvex::setup {

TrustListOperation::TrustListOperation(const OperationContext& context)
    : SetupOperation(context, kModeTrustList) {}

uint32_t TrustListOperation::Prepare() {
    context().logger.Info(25546);
    BuildProducts();
    return result();
}

uint32_t TrustListOperation::SelectProducts() {
    return result();
}

// A suite object of its own: the process's one belongs to install and
// uninstall runs.
void TrustListOperation::BuildProducts() {
    auto suite = std::make_unique<ProductMain>();
    if (suite->HasInstalledFiles()) {
        AddProduct(std::move(suite));
    }
    for (const ProductKind kind : kMemberOrder) {
        std::unique_ptr<Product> product = context().products.Create(kind);
        if (product && product->IsInstalled(true)) {
            AddProduct(std::move(product));
        }
    }
}

// Every product of the list was found installed when it was built.
uint32_t TrustListOperation::Execute() {
    for (Product* product : products()) {
        product->SetAvailable(true);
        product->SetSelected(true);
        if (product->AddToTrustList(true, true) != 0) {
            ReportProductMessage(25038, product->GetDisplayName());
        }
    }
    if (EqualsNoCase(context().host.ModuleFileName(), u"trustadd.exe")) {
        util::DeleteFileNowOrAtReboot(util::GetCurrentAppPath());
    }
    return result();
}

void TrustListOperation::ClearProducts() {
    DeleteProducts();
}

}  // namespace olvex::setup
