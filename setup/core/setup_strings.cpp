#include "setup/core/setup_strings.h"

#include <algorithm>
#include <array>
#include <iterator>

// The firewall installer's question titles are defined with its packaging.
#include "setup/products/member_packaging.h"

namespace olvex::setup {
namespace {

struct Entry {
    uint32_t id;
    std::u16string_view text;
};
#define SETUP_STRING(id, text) Entry{id, u"" text},
constexpr Entry kEntries[] = {
#include "setup/core/setup_strings.inc"
};
#undef SETUP_STRING

}  // namespace

std::u16string_view EnglishSetupString(uint32_t id) {
    const auto found = std::find_if(std::begin(kEntries), std::end(kEntries),
                                    [id](const Entry& entry) { return entry.id == id; });
    return found == std::end(kEntries) ? std::u16string_view{} : found->text;
}

}  // namespace olvex::setup
