// What the product handlers need to know of the Windows Installer's own
// bookkeeping, as plain text rules: the packed form of a product code that
// names its registration keys, and which saved command removes a product.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace olvex::setup {

// "{69383EC0-27AB-4173-A77C-2F2FB034E57F}" -> "0CE38396BA7237147AC7F2F20B435EF7":
// the first three groups reversed character by character, the last two
// byte by byte with the digits of each byte swapped. nullopt for a text
// that is not a braced code of 38 characters with hex digits.
std::optional<std::u16string> PackProductCode(std::u16string_view code);

// The uninstall commands an installed product may have saved.
struct SavedUninstallCommands {
    std::u16string own_uninstall_product;    // "UninstallProduct" of its own entry
    std::u16string suite_uninstall_product;  // "UninstallProduct" of the suite's entry
    std::u16string own_modify_path;          // "ModifyPath" of its own entry
};

// The first non-empty command of the three, in that order, with " /qr"
// (a reduced interface) and then the properties (" NAME=value ...", may be
// empty) appended; nullopt when none is saved or the result would not fit
// `size` characters with its terminator.
std::optional<std::u16string> ChooseUninstallCommand(const SavedUninstallCommands& saved,
                                                     size_t size = 520,
                                                     std::u16string_view properties = {});

}  // namespace olvex::setup
