#include "setup/controller/destination_choice.h"

#include <array>

#include "setup/controller/setup_operation.h"
#include "setup/core/path_text.h"
#include "setup/core/setup_logger.h"
#include "setup/core/setup_options.h"

namespace olvex::setup {
namespace {

DestinationChoice* g_current = nullptr;

constexpr uint32_t kFolderRefused = 25025;
constexpr uint32_t kFolderAdvice = 25026;
constexpr uint32_t kSuiteFolderName = 22013;
constexpr char16_t kDefaultProgramFiles[] = u"C:\\Program Files";

// A folder the check accepted in double quotes is the folder inside them.
void StripQuotes(std::u16string& path) {
    if (path.size() >= 2 && path.front() == u'"' && path.back() == u'"') {
        path = path.substr(1, path.size() - 2);
        util::TrimPathEnd(path);
    }
}

}  // namespace

DestinationChoice::DestinationChoice(SetupOperation& operation)
    : operation_(operation), previous_(g_current) {
    g_current = this;
}

DestinationChoice::~DestinationChoice() {
    g_current = previous_;
}

DestinationChoice* DestinationChoice::Current() {
    return g_current;
}

bool DestinationChoice::suite_active() const {
    return operation_.context().products.Suite().suite_active();
}

uint32_t DestinationChoice::Validate(std::u16string& path, bool check_others) {
    std::vector<std::u16string> installed_folders;
    if (check_others) {
        SuiteProduct* suite = &operation_.context().products.Suite();
        for (Product* product : operation_.products()) {
            if (product == suite || !product->IsInstalled(true)) {
                continue;
            }
            std::u16string folder;
            uint32_t flag = 0;
            if (product->GetInstalledPath(folder, flag) && !folder.empty()) {
                installed_folders.push_back(folder);
            }
        }
    }
    const DestinationCode code =
        operation_.context().host.ValidateDestination(path, check_others, installed_folders);
    if (code == kDestinationAccepted) {
        StripQuotes(path);
    }
    return code;
}

uint32_t DestinationChoice::Refuse(const std::u16string& path, int32_t level, uint32_t code) {
    const std::array<MessageEntry, 1> entries{MessageEntry{kFolderRefused, path, 0}};
    ReportMessage(operation_.context().logger, level, level, code, entries);
    return code;
}

void DestinationChoice::Accept() {
    operation_.context().options.SetPath(destination_);
}

uint32_t DestinationChoice::ComputeDefault() {
    const OperationContext& context = operation_.context();
    SuiteProduct& suite = context.products.Suite();
    std::u16string folder;
    uint32_t generation = 0;
    if (!suite.GetInstalledPath(folder, generation)) {
        folder.clear();
    }
    const bool same_variant = generation == suite.variant();
    fixed_name_.clear();
    if (same_variant && !folder.empty()) {
        fixed_name_ = suite.GetDisplayName();
    }
    installed_path_ = folder;
    validated_ = false;

    if (context.options.destination_given && fixed_name_.empty()) {
        // Taken whole: a folder too long for setup is refused, never cut.
        std::u16string given = context.options.GetPath();
        util::TrimPathEnd(given);
        if (Validate(given, true) == kDestinationAccepted) {
            destination_ = given;
            validated_ = true;
            return 0;
        }
        destination_.clear();
        // With a dialog the user is asked again; without one the run fails.
        return context.logger.display_level() >= 2 ? Refuse(given, 3, 0)
                                                   : Refuse(given, 1, kResultDestinationRefused);
    }
    if (!installed_path_.empty() && same_variant) {
        destination_ = installed_path_;
        return 0;
    }
    std::u16string program_files = context.host.ProgramFilesFolder();
    if (program_files.empty()) {
        program_files = kDefaultProgramFiles;
    }
    if (program_files.back() != u'\\') {
        program_files += u'\\';
    }
    destination_ = program_files + suite.LoadProductString(kSuiteFolderName);
    return 0;
}

uint32_t DestinationChoice::Choose(void* parent) {
    const OperationContext& context = operation_.context();
    const bool given = context.options.destination_given;
    if (context.logger.display_level() >= 2) {
        if (given && !destination_.empty()) {
            Accept();
            return 0;
        }
        return context.host.ShowDestinationDialog(parent, *this) > 0 ? 0 : kResultCancelled;
    }
    // No dialog below display level 2: the folder settled so far is checked
    // and taken, or the run fails.
    if (destination_.empty()) {
        return Refuse(destination_, 1, kResultDestinationRefused);
    }
    if (!validated_) {
        std::u16string path = destination_;
        if (Validate(path, fixed_name_.empty()) != kDestinationAccepted) {
            return Refuse(destination_, 1, kResultDestinationRefused);
        }
        destination_ = path;
    }
    Accept();
    return 0;
}

uint32_t DestinationChoice::AcceptFromDialog(std::u16string_view text) {
    std::u16string path(text);
    util::TrimPathEnd(path);
    if (Validate(path, fixed_name_.empty()) != kDestinationAccepted) {
        const std::array<MessageEntry, 2> entries{MessageEntry{kFolderRefused, path, 2},
                                                  MessageEntry{kFolderAdvice, std::nullopt, 0}};
        ReportMessage(operation_.context().logger, 0, 1, 0, entries);
        return kResultDestinationRefused;
    }
    destination_ = path;
    Accept();
    return 0;
}

}  // namespace olvex::setup
