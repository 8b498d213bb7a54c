// The pest table builders and lookups, from hostile decoded payloads: every
// record is checked, nothing is read outside a payload, and every entry the
// tables hold is found again by its own lookup.
//
// Input: one selector byte (0 pests, 1 signatures, 2 locations, modulo 3),
// then blocks, each a 32-bit little-endian record count, a 32-bit
// little-endian payload length and the payload (cut at the end of the input).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "olvex/core/dat_cursor.h"
#include "olvex/core/dat_tables.h"
#include "olvex/core/little_endian.h"

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

std::vector<olvex::DecodedBlock> Blocks(std::span<const std::uint8_t> input) {
    std::vector<olvex::DecodedBlock> blocks;
    while (input.size() >= 8 && blocks.size() < 64) {
        olvex::DecodedBlock block;
        block.record_count = *olvex::LoadLe32(input, 0);
        const std::size_t length =
            std::min<std::size_t>(*olvex::LoadLe32(input, 4), input.size() - 8);
        block.data.assign(input.begin() + 8,
                          input.begin() + 8 + static_cast<std::ptrdiff_t>(length));
        block.size = static_cast<std::uint32_t>(length);
        blocks.push_back(std::move(block));
        input = input.subspan(8 + length);
    }
    return blocks;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const olvex::MultiByteText mb = olvex::MultiByteText::ForCodePage(data[0] & 0x80 ? 932 : 1252);
    auto blocks = Blocks({data + 1, size - 1});
    switch (data[0] % 3) {
        case 0: {
            const auto built = olvex::BuildPestTables(std::move(blocks));
            if (!built.tables)
                return 0;
            const olvex::DatTables tables(built.tables, nullptr, nullptr, mb);
            for (std::size_t i = 0; i < tables.PestCount(); ++i)
                Check(tables.FindPest(tables.PestAt(i).pest_id).has_value());
            break;
        }
        case 1: {
            const auto built = olvex::BuildSignatureTables(std::move(blocks));
            if (!built.tables)
                return 0;
            const olvex::DatTables tables(nullptr, built.tables, nullptr, mb);
            for (const auto& row : built.tables->files.rows) {
                Check(!tables.FindFileSignatures(row.crc).empty());
                tables.MatchFileSignature(row.crc, [&] { return std::optional(row.md5); });
            }
            for (const auto& row : built.tables->memory.rows)
                Check(tables.FindPestByMemoryCrc(row.crc).has_value());
            break;
        }
        default: {
            const auto built = olvex::BuildLocationTables(std::move(blocks), mb);
            if (!built.tables)
                return 0;
            auto tables =
                std::make_shared<const olvex::DatTables>(nullptr, nullptr, built.tables, mb);
            for (std::size_t i = 0; i < tables->CookieCount(); ++i)
                Check(tables->FindCookie(tables->CookieAt(i).name).has_value());
            for (std::size_t i = 0; i < tables->PathCount(); ++i)
                Check(tables->FindPathLocation(tables->PathAt(i).path).has_value());
            for (std::size_t i = 0; i < tables->KeyCount(); ++i) {
                const auto key = tables->KeyAt(i);
                Check(tables->FindKeyLocation(key.key, key.value).has_value());
            }
            std::size_t walked = 0;
            for (olvex::DatLocationWalk walk(tables); !walk.AtEnd(); walk.Next()) {
                Check(walk.Value().has_value());
                Check(++walked <= tables->CookieCount() + tables->KeyCount() + tables->PathCount());
            }
            break;
        }
    }
    return 0;
}
