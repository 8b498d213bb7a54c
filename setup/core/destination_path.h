// The check of a destination folder for the suite against the places setup
// must never install into.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "setup/core/path_text.h"

namespace olvex::setup {

class SetupLogger;

enum DestinationCode : uint32_t {
    kDestinationAccepted = 0,
    kDestinationHasMacro = 1,       // holds a '%'
    kDestinationNotLocalFixed = 2,  // network, "\\?\", no drive, or not a fixed drive
    kDestinationSyntax = 3,         // quotes, * / ; < > | ?, ':' or "\\" out of place
    kDestinationEmpty = 4,
    kDestinationTooLong = 5,   // 1040 characters, or no room for product and file
    kDestinationBareRoot = 6,  // "\", "C:" or "C:\"
    kDestinationInWindows = 7,
    kDestinationProgramFiles = 8,   // the Program Files folder itself
    kDestinationInDocuments = 9,    // the profiles or the user's documents
    kDestinationOtherProduct = 10,  // another installed product's folder
};

// A destination longer than this is refused at once.
inline constexpr size_t kMaxDestinationText = 1040;
// Room kept behind the destination in a 260-character path for a product's
// folder, its sub-folders and a file name.
inline constexpr size_t kDestinationReserve = 64;

// What the check needs to know of the machine.
struct DestinationContext {
    std::u16string windows_folder;
    std::u16string program_files_folder;
    std::u16string common_documents_folder;
    std::u16string user_documents_folder;
    // The drive's type as the system reports it (3: a local fixed drive).
    std::function<uint32_t(char16_t drive_letter)> drive_type;
    util::PathLookups lookups;
    // Installed folders of the suite's other products.
    std::vector<std::u16string> installed_folders;
    size_t reserve = kDestinationReserve;
};

inline constexpr uint32_t kDriveFixed = 3;

// The code for the folder (0 accepted); a null path is empty.
DestinationCode ValidateDestinationPath(std::optional<std::u16string_view> path,
                                        bool check_other_products,
                                        const DestinationContext& context);

// The same, reporting a refusal with message 25025 and the path (log and
// display level 3, the code as value).
DestinationCode ValidateDestinationPath(std::optional<std::u16string_view> path,
                                        bool check_other_products,
                                        const DestinationContext& context, SetupLogger& logger);

}  // namespace olvex::setup
