#include <algorithm>

#include "setup/controller/operations.h"
#include "setup/core/path_text.h"
#include "setup/core/setup_logger.h"
#include "setup/core/setup_options.h"
#include "setup/core/setup_text.h"

namespace olvex::setup {
namespace {

constexpr uint32_t kPackageCodeString = 22237;
constexpr int32_t kYes = 6;
constexpr int32_t kYesNo = 4;

// Which member a single-member package holds.
std::optional<ProductKind> MemberOfPackage(uint32_t code) {
    switch (code) {
        case kCodeAntivirus:
        case 128:
        case 133:
        case 134:
        case 135:
            return ProductKind::kAntivirus;
        case kCodeFirewallUpgrade:
            return ProductKind::kFirewallUpgrade;
        case kCodeFirewall:
            return ProductKind::kFirewall;
        case kCodeAntiSpam:
            return ProductKind::kAntiSpam;
        case kCodeAntiSpyware:
            return ProductKind::kAntiSpyware;
        default:
            return std::nullopt;
    }
}

}  // namespace

uint32_t PackageCode(std::u16string_view text) {
    const uint32_t code = util::ParseDecimal(text);
    return code == 0 ? kCodeSuite : code;
}

bool IsVersionZero(Product& product) {
    std::u16string version;
    return !product.GetInstalledVersion(version) || version.empty() || EqualsNoCase(version, u"0");
}

UninstallOperation::UninstallOperation(const OperationContext& context)
    : SetupOperation(context, kModeUninstall) {}

void UninstallOperation::BuildProducts() {
    std::vector<std::pair<ProductKind, Product*>> built;
    for (const ProductKind kind : kMemberOrder) {
        std::unique_ptr<Product> product = context().products.Create(kind);
        if (product) {
            built.emplace_back(kind, product.get());
            AddProduct(std::move(product));
        }
    }
    const uint32_t code = PackageCode(context().logger.host().LoadText(kPackageCodeString, 64));
    if (code == kCodeSuite || code == kCodeSuiteEarlier) {
        suite().SetSuiteSelected(true);
        suite().SetProductCode(code);
        for (const auto& [kind, product] : built) {
            if (product->IsInstalled(true) &&
                product->product_code() == product->GetProductCode()) {
                // A member whose version reads "0" is installed in name
                // only: its registration goes without its uninstaller.
                if (IsVersionZero(*product)) {
                    registered_only_.push_back(product);
                } else {
                    product->SetAvailable(true);
                }
            }
        }
        return;
    }
    const std::optional<ProductKind> member = MemberOfPackage(code);
    for (const auto& [kind, product] : built) {
        if (member && *member == kind) {
            product->SetAvailable(true);
        }
    }
}

uint32_t UninstallOperation::Prepare() {
    SetupLogger& logger = context().logger;
    logger.Info(25547);
    if (result() == 0) {
        uint32_t noted = 0;
        bool suite_text = false;
        std::u16string text;
        const uint32_t framework = context().host.InitializeFramework();
        if (framework != 0) {
            logger.InfoValue(25006, framework);
            noted = framework;
        }
        BuildProducts();
        installed_count_ = 0;
        for (Product* product : products()) {
            if (product->IsAvailable() && product->IsInstalled(true)) {
                ++installed_count_;
                product->SetSelected(true);
                product->SetOffered(true);
            }
        }
        if (installed_count_ == 0 && !(suite().suite_active() && suite().IsInstalled(false))) {
            logger.Info(25039);
            noted = noted ? noted : kResultNothingInstalled;
        }
        const uint32_t checks = suite().CheckRequirements(text);
        if (checks != 0 && noted == 0) {
            noted = checks;
            suite_text = true;
        }
        if (noted != 0) {
            ReportResult(noted,
                         suite_text ? std::optional<std::u16string_view>(text) : std::nullopt,
                         SuiteName(), kReportFatal);
        }
    }
    if (result() == 0) {
        for (Product* product : products()) {
            if (!product->selected()) {
                continue;
            }
            std::u16string text;
            const uint32_t code = product->CheckRequirements(text);
            if (code != 0) {
                // A product that failed its checks is left alone, as the
                // selection dialog leaves it unticked.
                product->SetSelected(false);
                ReportResult(code, text, product->GetDisplayName(), installed_count_ == 1 ? 1 : 2);
            } else {
                ++count;
                product->SetInstallable(true);
            }
            if (result() != 0) {
                break;
            }
        }
        if (result() == 0 && installed_count_ > 1 && count == 0) {
            ReportResult(kResultNoneRemovable);
        }
    }
    return result();
}

uint32_t UninstallOperation::ConfirmRemoval() {
    Product* confirm = nullptr;
    if (suite().suite_active()) {
        confirm = &suite();
    } else {
        const auto found = std::find_if(products().begin(), products().end(), [](Product* product) {
            return product->IsAvailable() && product->IsInstalled(true);
        });
        confirm = found != products().end() ? *found : nullptr;
    }
    if (!confirm) {
        return kResultNothingInstalled;
    }
    if (display_level() <= 1) {
        return 0;
    }
    const std::u16string name = confirm->GetDisplayName();
    const std::u16string question =
        SubstituteArguments(context().logger.host().LoadText(24006, 384), {name, name});
    return context().host.ShowMessageBox(window(), question, name, kYesNo) == kYes
               ? 0
               : kResultCancelled;
}

uint32_t UninstallOperation::SelectProducts() {
    if (result() != 0) {
        return result();
    }
    const uint32_t code = suite().suite_active() && installed_count_ != 0
                              ? context().host.ShowProductSelection(window())
                              : ConfirmRemoval();
    if (code != 0) {
        ReportResult(code);
    }
    return result();
}

uint32_t UninstallOperation::Execute() {
    selected_count = done_count = failed_count = 0;
    OperationHost& host = context().host;
    if (result() == 0) {
        selected_count = CountSelected();
        host.StartProgress(window(), selected_count + 5);
        for (Product* product : products()) {
            if (product->selected()) {
                uint32_t code = product->PrepareUninstall();
                if (code == 0) {
                    code = product->Uninstall();
                }
                if (code == 0) {
                    code = product->FinishUninstall();
                }
                if (code != 0) {
                    ++failed_count;
                    const bool last = selected_count == done_count + failed_count;
                    ReportResult(code, std::nullopt, product->GetDisplayName(), last ? 1 : 2);
                } else {
                    ++done_count;
                }
            } else if (std::find(registered_only_.begin(), registered_only_.end(), product) !=
                           registered_only_.end() &&
                       product->IsInstalled(true) && IsVersionZero(*product)) {
                product->SetSelected(true);
                product->FinishUninstall();
            }
        }
        if (result() == 0) {
            const bool any_installed =
                std::any_of(products().begin(), products().end(),
                            [](Product* product) { return product->IsInstalled(true); });
            if (!any_installed) {
                suite().SetSuiteSelected(true);
                uint32_t code = suite().PrepareUninstall();
                if (code == 0) {
                    code = suite().Uninstall();
                }
                if (code == 0) {
                    code = suite().FinishUninstall();
                }
                if (code != 0) {
                    ReportResult(code, std::nullopt, SuiteName(), kReportFatal);
                }
            }
        }
    }
    host.StopProgress();
    return result();
}

void UninstallOperation::ClearProducts() {
    registered_only_.clear();
    DeleteProducts();
    if (result() == 0) {
        AskReboot(24008);
    }
    context().host.UnloadFramework();
}

}  // namespace olvex::setup
