// Active-protection settings files from hostile bytes: reading never leaves
// a flag other than 0 or 1 (from a start of 0s and 1s), changes only the
// flags that a line names "on" or "off", and what is written reads back as
// the same settings.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "client/common/active_protection_settings.h"

namespace {

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

bool IsFlag(int value) {
    return value == 0 || value == 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const olvex::ActiveProtectionSettings start :
         {olvex::ActiveProtectionSettings{}, olvex::ActiveProtectionSettings{1, 1, 1, 0}}) {
        olvex::ActiveProtectionSettings read = start;
        olvex::ApplyActiveProtectionText(text, read);
        Check(IsFlag(read.memory) && IsFlag(read.cookies) && IsFlag(read.heuristics) &&
              IsFlag(read.on_boot));
        // Without "on" or "off" anywhere, nothing can change.
        if (text.find("on") == std::string_view::npos && text.find("off") == std::string_view::npos)
            Check(read == start);

        const std::string written = olvex::FormatActiveProtectionSettings(read);
        olvex::ActiveProtectionSettings back{2, 2, 2, 2};
        olvex::ApplyActiveProtectionText(written, back);
        Check(back == read);
    }
    return 0;
}
