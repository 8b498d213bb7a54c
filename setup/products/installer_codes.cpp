#include "setup/products/installer_codes.h"

#include <algorithm>
#include <array>

namespace olvex::setup {
namespace {

bool IsHexDigit(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

}  // namespace

std::optional<std::u16string> PackProductCode(std::u16string_view code) {
    constexpr size_t kLength = 38;
    if (code.size() != kLength || code.front() != u'{' || code.back() != u'}') {
        return std::nullopt;
    }
    const std::u16string_view body = code.substr(1, kLength - 2);
    constexpr std::array<size_t, 4> kDashes = {8, 13, 18, 23};
    for (size_t i = 0; i < body.size(); ++i) {
        const bool dash = std::find(kDashes.begin(), kDashes.end(), i) != kDashes.end();
        if (dash ? body[i] != u'-' : !IsHexDigit(body[i])) {
            return std::nullopt;
        }
    }
    std::u16string packed;
    // The three leading groups are numbers stored low byte first: reversed
    // whole.
    for (const auto& [start, length] : {std::pair<size_t, size_t>{0, 8}, {9, 4}, {14, 4}}) {
        std::u16string group(body.substr(start, length));
        std::reverse(group.begin(), group.end());
        packed += group;
    }
    // The last eight bytes are stored as they stand, each byte's two digits
    // swapped.
    std::u16string tail(body.substr(19, 4));
    tail += body.substr(24, 12);
    for (size_t i = 0; i + 1 < tail.size(); i += 2) {
        packed += tail[i + 1];
        packed += tail[i];
    }
    std::transform(packed.begin(), packed.end(), packed.begin(),
                   [](char16_t c) { return c >= u'a' && c <= u'f' ? char16_t(c - 32) : c; });
    return packed;
}

std::optional<std::u16string> ChooseUninstallCommand(const SavedUninstallCommands& saved,
                                                     size_t size, std::u16string_view properties) {
    constexpr std::u16string_view kReduced = u" /qr";
    for (const std::u16string* command :
         {&saved.own_uninstall_product, &saved.suite_uninstall_product, &saved.own_modify_path}) {
        if (command->empty()) {
            continue;
        }
        if (command->size() + kReduced.size() + properties.size() + 1 > size) {
            return std::nullopt;
        }
        return *command + std::u16string(kReduced) + std::u16string(properties);
    }
    return std::nullopt;
}

}  // namespace olvex::setup
