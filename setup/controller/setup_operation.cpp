#include "setup/controller/setup_operation.h"

#include <algorithm>
#include <array>

#include "setup/controller/operations.h"
#include "setup/core/setup_logger.h"
#include "setup/core/setup_options.h"

namespace olvex::setup {
namespace {

ProductFactory* g_factory = nullptr;
std::unique_ptr<SetupOperation> g_operation;

constexpr uint32_t kFirstReportedCode = 9002;
constexpr uint32_t kLastReportedCode = 9043;
constexpr uint32_t kRestartCaption = 20058;
constexpr int32_t kYesNoBox = 4;
constexpr int32_t kYes = 6;

// One entry of a combined report.
MessageEntry Entry(uint32_t id, std::optional<std::u16string_view> argument, uint32_t blank_lines) {
    MessageEntry entry;
    entry.id = id;
    if (argument) {
        entry.argument = std::u16string(*argument);
    }
    entry.blank_lines = blank_lines;
    return entry;
}

}  // namespace

std::unique_ptr<SetupOperation> ProductFactory::CreateTrustListOperation(const OperationContext&) {
    return nullptr;
}

void SetProductFactory(ProductFactory* factory) {
    g_factory = factory;
}

ProductFactory& Products() {
    return *g_factory;
}

SetupOperation::SetupOperation(const OperationContext& context, int32_t mode)
    : context_(context), mode_(mode), restart_work_before_(context.host.RestartWork()) {}

SetupOperation::~SetupOperation() = default;

uint32_t SetupOperation::ExitCode() const {
    const uint32_t code = result();
    return code != 0 ? code : first_product_failure_;
}

void SetupOperation::NoteResult(uint32_t code) {
    uint32_t none = 0;
    result_.compare_exchange_strong(none, code);
}

int32_t SetupOperation::display_level() const {
    return context_.logger.display_level();
}

void SetupOperation::AddProduct(std::unique_ptr<Product> product) {
    if (!product) {
        return;
    }
    products_.push_back(product.get());
    owned_.push_back(std::move(product));
}

void SetupOperation::AddSuite(SuiteProduct& suite) {
    products_.push_back(&suite);
}

void SetupOperation::DeleteProducts() {
    // The suite outlives the products: it must not keep pointing at one.
    suite().SetPrimaryProduct(nullptr);
    products_.clear();
    owned_.clear();
}

int32_t SetupOperation::CountSelected() const {
    int32_t selected = 0;
    for (const Product* product : products_) {
        selected += product->selected() ? 1 : 0;
    }
    return selected;
}

std::u16string SetupOperation::SuiteName() {
    return suite().GetDisplayName();
}

void SetupOperation::ReportResult(uint32_t code, std::optional<std::u16string_view> text,
                                  std::optional<std::u16string_view> name, int32_t level) {
    if (code < kFirstReportedCode || code > kLastReportedCode) {
        return;
    }
    if (level < 0 || level > 4) {
        level = 1;
    }
    SetupLogger& logger = context_.logger;
    const auto error = [&](uint32_t id) { logger.Error(id, code); };
    const auto report = [&](std::initializer_list<MessageEntry> entries) {
        ReportMessage(logger, level, level, code,
                      std::span<const MessageEntry>(entries.begin(), entries.size()));
    };
    switch (code) {
        case 9002:
            error(25003);
            break;
        case 9003:
        case 9004:
            error(25006);
            break;
        case 9005:
            error(25005);
            break;
        case 9006:
            context_.host.ShowComponentDownload(window_);
            break;
        case 9007:
            report({Entry(25009, std::nullopt, 2), Entry(25010, std::nullopt, 0)});
            break;
        case 9008:
            error(25011);
            break;
        case 9009:
            report({Entry(25012, text, 2), Entry(25013, name, 0)});
            break;
        case 9010:
            error(25007);
            break;
        case 9011:
            report({Entry(25014, name, 2), Entry(25015, text, 2), Entry(25017, std::nullopt, 0)});
            break;
        case 9012:
            report({Entry(25014, name, 2), Entry(25016, text, 2), Entry(25017, std::nullopt, 0)});
            break;
        case 9013:
            report({Entry(25018, name, 0)});
            break;
        case 9014:
            context_.host.ShowWinsockDownload(window_, name.value_or(std::u16string_view{}));
            break;
        case 9015:
            report({Entry(25019, name, 2), Entry(25020, std::nullopt, 2), Entry(25021, name, 0)});
            break;
        case 9016:
            error(25024);
            break;
        case 9017:
            logger.Info(25001);
            break;
        case 9018:
            logger.Info(25002);
            break;
        case 9023:
            error(25028);
            break;
        case 9024:
        case 9025:
            report({Entry(25029, name, 0)});
            break;
        case 9026:
            report({Entry(mode_ == kModeInstall ? 25030 : 25042, name, 0)});
            break;
        case 9027:
            report({Entry(25031, name, 0)});
            break;
        case 9029:
        case 9030:
            report({Entry(25041, name, 0)});
            break;
        case kResultTrustList:
            // The trust list never stops or fails a run.
            return;
        case 9037:
            error(25039);
            break;
        case 9038:
            error(25040);
            break;
        case 9039:
            report({Entry(25043, name, 0)});
            break;
        case 9041:
            report({Entry(25045, name, 0)});
            break;
        case 9042:
            report({Entry(25046, name, 0)});
            break;
        case 9043:
            report({Entry(25016, text, 0)});
            break;
        default:
            // The step that produced the code reported it already.
            break;
    }
    if (level == 1) {
        NoteResult(code);
    } else if (level == 2 && first_product_failure_ == 0) {
        first_product_failure_ = code;
    }
}

void SetupOperation::AskReboot(uint32_t text_id) {
    if (display_level() < 2) {
        return;
    }
    context_.host.MakeTopmost(window_);
    if (!context_.options.reboot || !RestartNeeded()) {
        return;
    }
    // Escape and the close button answer No.
    if (context_.host.MessageBoxById(window_, text_id, kRestartCaption, kYesNoBox) == kYes) {
        reboot_ = true;
    }
}

bool SetupOperation::RestartNeeded() const {
    if (restart_requested_) {
        return true;
    }
    const std::vector<std::u16string> now = context_.host.RestartWork();
    return std::any_of(now.begin(), now.end(), [&](const std::u16string& item) {
        return std::find(restart_work_before_.begin(), restart_work_before_.end(), item) ==
               restart_work_before_.end();
    });
}

SetupOperation* CreateOperation(int32_t mode, const OperationContext& context) {
    g_operation.reset();
    switch (mode) {
        case kModeUninstall:
            g_operation = std::make_unique<UninstallOperation>(context);
            break;
        case kModeCleanup:
            g_operation = std::make_unique<CleanupOperation>(context);
            break;
        case kModeTrustList:
            g_operation = context.products.CreateTrustListOperation(context);
            break;
        default:
            g_operation = std::make_unique<InstallOperation>(context);
            break;
    }
    return g_operation.get();
}

void DestroyOperation() {
    g_operation.reset();
}

SetupOperation* GetCurrentOperation() {
    return g_operation.get();
}

}  // namespace olvex::setup
