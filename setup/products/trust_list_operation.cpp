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
    const auto add_installed = [this](std::unique_ptr<Product> product) {
        if (product && product->IsInstalled(true)) {
            AddProduct(std::move(product));
        }
    };
    add_installed(std::make_unique<ProductMain>());
    for (const ProductKind kind : kMemberOrder) {
        add_installed(context().products.Create(kind));
    }
}

uint32_t TrustListOperation::Execute() {
    for (Product* product : products()) {
        if (!product->IsInstalled(true)) {
            continue;
        }
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
