// Any text splits into lines without reading outside it; every line comes back
// trimmed, and the reader always moves forward and ends.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "olvex/core/line_buffer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    olvex::TCharBufferManagement buffer;
    buffer.SetText(text);
    std::size_t count = 0;
    for (auto line = buffer.GetFirstLine(); line; line = buffer.GetNextLine()) {
        constexpr std::string_view kWhiteSpace = " \t\r\n\v\f";
        if (!line->empty() && (kWhiteSpace.find(line->front()) != std::string_view::npos ||
                               kWhiteSpace.find(line->back()) != std::string_view::npos)) {
            std::abort();
        }
        if (line->size() > size || ++count > size) {
            std::abort();
        }
    }
    return 0;
}
