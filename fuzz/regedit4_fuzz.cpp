// Reads hostile text as REGEDIT4: whatever reads must write back to a text
// that reads as the same keys and values, and writes the same again.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "olvex/remedy/regedit4.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto parsed = olvex::ParseRegedit4(text);
    if (!parsed.ok)
        return 0;
    const auto written = olvex::WriteRegedit4(parsed.keys);
    if (!written)
        std::abort();
    const auto again = olvex::ParseRegedit4(*written);
    if (!again.ok || again.keys != parsed.keys || olvex::WriteRegedit4(again.keys) != written)
        std::abort();
    return 0;
}
