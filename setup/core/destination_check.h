// The destination check on the real machine: its Windows, Program Files and
// documents folders, its drives and short names.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "setup/core/destination_path.h"

namespace olvex::setup {

DestinationContext SystemDestinationContext(std::vector<std::u16string> installed_folders);

// Checks the folder on this machine and reports a refusal (message 25025).
DestinationCode ValidateDestinationPath(std::optional<std::u16string_view> path,
                                        bool check_other_products,
                                        std::vector<std::u16string> installed_folders);

}  // namespace olvex::setup
