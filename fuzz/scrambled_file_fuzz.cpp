// Scrambled settings files from hostile bytes: decoding never reads outside
// the input, a file that decodes is exactly what encoding its text gives
// (less the filler byte), and every text survives encoding and decoding. The
// decoded text then goes through the URL table lookup.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "client/common/scrambled_file.h"
#include "client/common/url_table.h"

namespace {

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);

    const auto decoded = olvex::DecodeScrambled(input);
    if (decoded) {
        const auto again = olvex::EncodeScrambled(decoded.plain);
        Check(again.size() == size);
        for (std::size_t i = 0; i < size; ++i)
            Check(i == size - olvex::kScrambledTrailerBytes || again[i] == data[i]);
    } else {
        Check(decoded.plain.empty());
        Check(size >= olvex::kScrambledTrailerBytes ||
              decoded.error == olvex::ScrambledError::kTooShort);
    }

    const auto stored = olvex::EncodeScrambled(input);
    const auto back = olvex::DecodeScrambled(stored);
    Check(back && back.plain.size() == size &&
          std::equal(back.plain.begin(), back.plain.end(), data));

    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto key = text.substr(0, text.find_first_of("=\n"));
    if (const auto address = olvex::FindUrlInTable(text, key))
        Check(address->size() <= size);
    olvex::FindUrlInTable(text, "QZSUPPORT_URL");
    return 0;
}
