// Definition block files from hostile bytes: the block reader, the header
// walk and the record decoders behind them.
//
// Input: one selector byte, then the file. Selector bits 0-1 pick the file
// name (and with it the compatibility date and the record layout); bit 2
// repairs every header's check value first, so that the fuzzer gets past the
// CRC to the descrambler, the "JC" decoder and the records; bit 3 has the
// first block decoded on a thread of its own beside the others, as a large
// file is read.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "olvex/core/definition_blocks.h"
#include "olvex/core/definition_records.h"
#include "olvex/core/little_endian.h"

namespace {

void RepairCheckValues(std::vector<std::uint8_t>& file) {
    std::size_t start = 0;
    while (file.size() - start >= olvex::kDefinitionHeaderBytes) {
        const auto header = olvex::ParseBlockHeader(std::span(file).subspan(start));
        const std::size_t body = start + olvex::kDefinitionHeaderBytes;
        if (header->payload_length <= 0 ||
            static_cast<std::size_t>(header->payload_length) > file.size() - body)
            return;
        const auto length = static_cast<std::size_t>(header->payload_length);
        const auto check = olvex::DefinitionCheckValue(std::span(file).subspan(body, length));
        olvex::StoreLe(std::span(file), start + olvex::kHeaderCheckOffset, check);
        start = body + length;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    static const char* const kPaths[] = {"C:\\defs\\qzinfo.dat", "C:\\defs\\qzfile.dat",
                                         "C:\\defs\\qzloc.dat", "C:\\defs\\other.dat"};
    const std::uint8_t selector = data[0];
    const std::string path = kPaths[selector & 3];
    std::vector<std::uint8_t> file(data + 1, data + size);
    if (selector & 4)
        RepairCheckValues(file);

    olvex::WalkBlockHeaders(file);
    // A small allocation cap keeps the fuzzer quick; the reader's checks are the same.
    olvex::BlockReadLimits limits;
    limits.max_unpacked_bytes = 1u << 16;
    if (selector & 8)
        limits.first_block_decoded_beside = 1;
    const auto read = olvex::ReadBlockBuffer(file, path, limits);
    for (const auto& block : read.blocks) {
        const auto count = static_cast<std::int32_t>(block.record_count);
        switch (selector & 3) {
            case 0:
                olvex::DecodePestRecords(block.data, count);
                break;
            case 1:
                olvex::DecodeSignatureRecords(block.data, count);
                break;
            default:
                olvex::DecodeLocationRecords(block.data, count);
                break;
        }
    }
    return 0;
}
