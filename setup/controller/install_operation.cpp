#include <array>

#include "setup/controller/destination_choice.h"
#include "setup/controller/operations.h"
#include "setup/core/path_text.h"
#include "setup/core/program_group.h"
#include "setup/core/setup_logger.h"
#include "setup/core/setup_options.h"
#include "setup/core/setup_strings.h"

namespace olvex::setup {
namespace {

constexpr int32_t kComOk = 0;     // S_OK
constexpr int32_t kComFalse = 1;  // S_FALSE: already initialised on this thread
constexpr uint32_t kGroupString = 20144;
// The program group when the suite names none.
constexpr char16_t kDefaultGroup[] = u"Kelvan Security Suite";

}  // namespace

InstallOperation::InstallOperation(const OperationContext& context)
    : SetupOperation(context, kModeInstall) {}

void InstallOperation::BuildProducts() {
    for (const ProductKind kind : kMemberOrder) {
        AddProduct(context().products.Create(kind));
    }
}

uint32_t InstallOperation::SelectForInstall(bool all) {
    // Counted anew on every call: a second selection must not see twice
    // the products there are.
    available_count_ = 0;
    Product* last = nullptr;
    for (Product* product : products()) {
        product->SetSelected(false);
        if (!product->IsAvailable()) {
            continue;
        }
        ++available_count_;
        if (all || product->installable()) {
            product->SetSelected(true);
            last = product;
        }
    }
    if (available_count_ == 1) {
        suite().SetSuiteSelected(false);
        suite().SetPrimaryProduct(last);
    } else if (available_count_ > 1) {
        suite().SetSuiteSelected(true);
        suite().SetPrimaryProduct(last);
        suite().SetProductCode(suite().GetProductCode());
    }
    return last ? 0 : kResultNothingSelected;
}

uint32_t InstallOperation::Prepare() {
    SetupLogger& logger = context().logger;
    logger.Info(25546);
    if (result() == 0) {
        uint32_t noted = 0;
        bool suite_text = false;
        std::u16string text;
        com_result_ = context().host.InitializeCom();
        com_initialized_ = com_result_ == kComOk || com_result_ == kComFalse;
        if (!com_initialized_) {
            logger.InfoValue(25003, static_cast<uint32_t>(com_result_));
            noted = kResultComFailed;
        }
        const uint32_t framework = context().host.InitializeFramework();
        if (framework != 0) {
            logger.InfoValue(25006, framework);
            noted = noted ? noted : framework;
        }
        BuildProducts();
        if (SelectForInstall(true) != 0) {
            logger.Info(25005);
            noted = noted ? noted : kResultNothingSelected;
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
                ReportResult(code, text, product->GetDisplayName(), available_count_ == 1 ? 1 : 2);
            } else {
                ++count;
                product->SetInstallable(true);
            }
            if (result() != 0) {
                break;
            }
        }
        if (result() == 0 && available_count_ > 1 && count == 0) {
            ReportResult(kResultNoneInstallable);
        }
    }
    return result();
}

uint32_t InstallOperation::ChooseProgramGroup() {
    std::u16string installed;
    suite().GetInstalledGroup(installed);
    SetupOptions& options = context().options;
    std::u16string group = options.GetGroup();
    util::TrimPathEnd(group);
    // The group's folder is made, filled and later removed again below the
    // Programs folder: a name that leads elsewhere ("..", a drive, a root,
    // a device) is refused before anything is installed.
    if (!group.empty() && !IsAcceptableProgramGroup(group)) {
        const std::array<MessageEntry, 1> entries{
            MessageEntry{msg::kProgramGroupRefused, options.GetGroup(), 0}};
        ReportMessage(context().logger, 1, 1, kResultDestinationRefused, entries);
        return kResultDestinationRefused;
    }
    if (group.empty()) {
        group = suite().LoadProductString(kGroupString);
    }
    if (group.empty()) {
        group = kDefaultGroup;
    }
    options.SetGroup(group);
    return 0;
}

uint32_t InstallOperation::ChooseDestinationAndGroup(DestinationChoice& choice) {
    const uint32_t destination = choice.ComputeDefault();
    const uint32_t group = ChooseProgramGroup();
    return destination != 0 ? destination : group;
}

uint32_t InstallOperation::SelectProducts() {
    if (result() != 0) {
        return result();
    }
    OperationHost& host = context().host;
    const uint32_t rich_edit = host.LoadRichEdit();
    if (rich_edit != 0) {
        context().logger.InfoValue(25011, rich_edit);
        ReportResult(kResultNoRichEdit);
        return result();
    }
    DestinationChoice choice(*this);
    const auto step = [&](uint32_t code) {
        if (result() == 0 && code != 0) {
            ReportResult(code);
        }
        return result() == 0;
    };
    // Each step only while nothing failed.
    if (step(host.ShowAgreement(window())) && step(SelectForInstall(false)) &&
        step(ChooseDestinationAndGroup(choice)) && step(choice.Choose(window())) &&
        suite().suite_active()) {
        step(host.ShowProductSelection(window()));
    }
    host.FreeRichEdit();
    return result();
}

uint32_t InstallOperation::Execute() {
    selected_count = done_count = failed_count = 0;
    OperationHost& host = context().host;
    if (result() == 0) {
        selected_count = CountSelected();
        host.StartProgress(window(), selected_count + 5);

        std::u16string text;
        uint32_t code = suite().PrepareInstall(text);
        if (code == 0) {
            code = suite().Install();
        }
        if (code != 0) {
            ReportResult(code, text, SuiteName(), kReportFatal);
        }

        if (result() == 0) {
            for (Product* product : products()) {
                if (!product->selected()) {
                    continue;
                }
                std::u16string step_text;
                code = product->PrepareInstall(step_text);
                if (code == 0) {
                    code = product->Install();
                }
                if (code == 0) {
                    code = product->FinishInstall();
                }
                if (code != 0) {
                    ++failed_count;
                    const bool last = selected_count == done_count + failed_count;
                    ReportResult(code, step_text, product->GetDisplayName(), last ? 1 : 2);
                } else {
                    ++done_count;
                }
            }
        }

        code = suite().FinishInstall();
        if (code != 0) {
            ReportResult(code, std::nullopt, SuiteName(), kReportFatal);
        }
    }
    host.StopProgress();
    return result();
}

void InstallOperation::ClearProducts() {
    DeleteProducts();
    if (result() == 0) {
        AskReboot(24007);
    }
    context().host.UnloadFramework();
    if (com_initialized_) {
        context().host.UninitializeCom();
        com_initialized_ = false;
    }
}

}  // namespace olvex::setup
