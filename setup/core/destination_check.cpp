#include "setup/core/destination_check.h"

#include <windows.h>

#include "setup/core/setup_logger.h"
#include "setup/core/system_utilities.h"
#include "setup/core/win_text.h"

namespace olvex::setup {

DestinationContext SystemDestinationContext(std::vector<std::u16string> installed_folders) {
    DestinationContext context;
    context.windows_folder = util::GetWinDir();
    context.program_files_folder = util::GetProgramFilesDir();
    context.common_documents_folder = util::GetDocumentsDir(true);
    context.user_documents_folder = util::GetDocumentsDir(false);
    context.drive_type = [](char16_t letter) {
        const std::u16string root = std::u16string(1, letter) + u":\\";
        return static_cast<uint32_t>(GetDriveTypeW(W(root)));
    };
    context.lookups = util::SystemPathLookups();
    context.installed_folders = std::move(installed_folders);
    return context;
}

DestinationCode ValidateDestinationPath(std::optional<std::u16string_view> path,
                                        bool check_other_products,
                                        std::vector<std::u16string> installed_folders) {
    return ValidateDestinationPath(path, check_other_products,
                                   SystemDestinationContext(std::move(installed_folders)),
                                   SetupLogger::Instance());
}

}  // namespace olvex::setup
