// Folder macros expand texts from the registry and the command line, with
// variables that may name each other in circles. Expansion ends, stays
// within 2048 characters and leaves a text without macros as it was.
#include <cstddef>
#include <cstdint>
#include <map>

#include "fuzz/setup_fuzz_support.h"
#include "setup/core/path_text.h"
#include "setup/core/setup_text.h"

using namespace olvex::setup;
using fuzzing::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    std::map<std::u16string, std::u16string> environment;
    const int count = input.ConsumeIntegralInRange(0, 8);
    for (int i = 0; i < count; ++i) {
        std::u16string name = fuzzing::ConsumeText(input, 8);
        environment[name] = fuzzing::ConsumeText(input, 600);
    }
    const bool folders = input.ConsumeBool();
    util::MacroLookups lookups;
    lookups.environment = [&](std::u16string_view name) -> std::optional<std::u16string> {
        for (const auto& [key, value] : environment) {
            if (EqualsNoCase(key, name)) {
                return value;
            }
        }
        return std::nullopt;
    };
    lookups.windows_folder = [folders]() -> std::optional<std::u16string> {
        if (!folders) {
            return std::nullopt;
        }
        return u"C:\\WINDOWS";
    };
    lookups.system_folder = [] { return std::optional<std::u16string>(u"C:\\WINDOWS\\System32"); };
    lookups.windows_drive = [] { return std::optional<std::u16string>(u"C:"); };
    const std::u16string text = fuzzing::ConsumeText(input, 3000);

    const auto expanded = util::ExpandSystemMacros(text, lookups);
    if (expanded) {
        Check(expanded->size() <= util::kMaxExpandedText);
    }
    if (text.find(u'%') == std::u16string::npos) {
        Check(expanded.has_value() == (text.size() <= util::kMaxExpandedText));
        Check(!expanded || *expanded == text);
    }
    return 0;
}
