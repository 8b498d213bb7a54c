// The record decoders of the three definition files and the location entry
// parsers, from hostile decoded payloads.
//
// Input: one selector byte (the record layout), a 32-bit little-endian record
// count, then the payload.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "olvex/core/definition_records.h"
#include "olvex/core/little_endian.h"

namespace {

void ParseEntry(std::string_view text) {
    switch (olvex::LocationKindOf(text)) {
        case olvex::LocationKind::kKey:
            olvex::ParseKeyEntry(text);
            break;
        case olvex::LocationKind::kCookie:
            olvex::ParseCookieEntry(text);
            break;
        case olvex::LocationKind::kFile:
        case olvex::LocationKind::kFolder:
            olvex::ParsePathEntry(text);
            break;
        default:
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    if (size < 5)
        return 0;
    const auto count = static_cast<std::int32_t>(*olvex::LoadLe32(input, 1));
    const auto payload = input.subspan(5);
    switch (data[0] % 3) {
        case 0:
            olvex::DecodePestRecords(payload, count);
            break;
        case 1:
            olvex::DecodeSignatureRecords(payload, count);
            break;
        default: {
            const auto list = olvex::DecodeLocationRecords(payload, count);
            for (const auto& record : list.records)
                ParseEntry(record.text);
            // The parsers take any text, not only ones a record held.
            const std::string_view raw(reinterpret_cast<const char*>(payload.data()),
                                       payload.size());
            olvex::ParseKeyEntry(raw);
            olvex::ParseCookieEntry(raw);
            olvex::ParsePathEntry(raw);
            break;
        }
    }
    return 0;
}
