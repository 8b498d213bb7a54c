#include "tools/publisher/definition_writer.h"

#include <filesystem>
#include <future>
#include <system_error>

#include "olvex/core/definition_blocks.h"
#include "olvex/core/file_io.h"
#include "olvex/core/jc_decoder.h"
#include "olvex/core/little_endian.h"
#include "olvex/core/scrambler.h"
#include "tools/jc/jc_encoder.h"

namespace olvex::tools {
namespace {

struct CorruptionEntry {
    Corruption corruption;
    std::string_view name;
};

constexpr CorruptionEntry kCorruptions[] = {
    {Corruption::kNone, "none"},
    {Corruption::kBadMagic, "bad-magic"},
    {Corruption::kBadDate, "bad-date"},
    {Corruption::kOtherDate, "other-date"},
    {Corruption::kFlipBit, "flip-bit"},
    {Corruption::kNoJcTag, "no-jc-tag"},
    {Corruption::kBadJc, "bad-jc"},
    {Corruption::kTruncate, "truncate"},
    {Corruption::kNegativeLength, "negative-length"},
};

constexpr std::size_t kJcChecksumOffset = 6;

// Spoils the plain "JC" stream before it is scrambled.
void CorruptStream(Corruption corruption, std::span<const std::uint8_t> plain,
                   std::vector<std::uint8_t>& stream) {
    if (corruption == Corruption::kNoJcTag) {
        stream[0] = 'X';
        stream[1] = 'X';
    } else if (corruption == Corruption::kBadJc) {
        std::uint32_t wrong = JcChecksum(plain) + 1;
        StoreLe(std::span(stream), kJcChecksumOffset, wrong == 0 ? 1u : wrong);
    }
}

// Spoils the header before it is written.
void CorruptHeader(Corruption corruption, DefinitionFileKind kind, DefinitionBlockHeader& header) {
    switch (corruption) {
        case Corruption::kBadMagic:
            header.magic = kDefinitionMagic + 1;
            break;
        case Corruption::kBadDate:
            header.compatibility_date += 1;
            break;
        case Corruption::kOtherDate:
            header.compatibility_date = kind == DefinitionFileKind::kLocations
                                            ? kDefinitionsCompatibilityDate
                                            : kLocationsCompatibilityDate;
            break;
        case Corruption::kNegativeLength:
            header.payload_length = -header.payload_length;
            break;
        default:
            break;
    }
}

void Append(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

}  // namespace

std::string_view FileNameOf(DefinitionFileKind kind) {
    switch (kind) {
        case DefinitionFileKind::kPests:
            return "qzinfo.dat";
        case DefinitionFileKind::kSignatures:
            return "qzfile.dat";
        case DefinitionFileKind::kLocations:
            return "qzloc.dat";
    }
    return {};
}

std::uint64_t CompatibilityDateOf(DefinitionFileKind kind) {
    return kind == DefinitionFileKind::kLocations ? kLocationsCompatibilityDate
                                                  : kDefinitionsCompatibilityDate;
}

std::optional<Corruption> CorruptionFromName(std::string_view name) {
    for (const auto& entry : kCorruptions)
        if (entry.name == name)
            return entry.corruption;
    return std::nullopt;
}

std::string_view CorruptionName(Corruption corruption) {
    for (const auto& entry : kCorruptions)
        if (entry.corruption == corruption)
            return entry.name;
    return {};
}

std::vector<std::string_view> CorruptionNames() {
    std::vector<std::string_view> names;
    for (const auto& entry : kCorruptions)
        names.push_back(entry.name);
    return names;
}

BuiltFile BuildBlockFile(std::span<const BlockPayload> blocks, DefinitionFileKind kind,
                         const WriteOptions& options) {
    BuiltFile file;
    std::size_t payload_index = 0;
    bool corrupted = options.corruption == Corruption::kNone;
    for (const BlockPayload& block : blocks) {
        DefinitionBlockHeader header;
        header.block_time = block.block_time;
        header.compatibility_date = CompatibilityDateOf(kind);
        if (block.plain.empty()) {
            // Nothing to carry: a bare header, which the reader skips.
            header.check_value = DefinitionCheckValue({});
            Append(file.bytes, SerializeBlockHeader(header));
            continue;
        }
        const bool target =
            options.corruption != Corruption::kNone && payload_index++ == options.corrupt_block;
        std::vector<std::uint8_t> stored = JcCompress(block.plain);
        if (target)
            CorruptStream(options.corruption, block.plain, stored);
        ScrambleBuffer(stored);
        if (stored.size() > 0x7FFFFFFFu) {
            file.error = std::string(FileNameOf(kind)) + ": a block payload exceeds 2 GiB";
            return file;
        }
        header.payload_length = static_cast<std::int32_t>(stored.size());
        header.check_value = DefinitionCheckValue(stored);
        header.record_count = block.record_count;
        if (target) {
            corrupted = true;
            CorruptHeader(options.corruption, kind, header);
            if (options.corruption == Corruption::kFlipBit)
                stored[stored.size() / 2] ^= 0x10;
        }
        Append(file.bytes, SerializeBlockHeader(header));
        if (target && options.corruption == Corruption::kTruncate) {
            Append(file.bytes, std::span(stored).first(stored.size() / 2));
            break;
        }
        Append(file.bytes, stored);
    }
    if (!corrupted)
        file.error = std::string(FileNameOf(kind)) + ": there is no block " +
                     std::to_string(options.corrupt_block) + " with records to spoil";
    return file;
}

std::optional<std::vector<BlockPayload>> EncodePayloads(const DefinitionSet& set,
                                                        DefinitionFileKind kind,
                                                        std::string& error) {
    std::vector<BlockPayload> payloads;
    payloads.reserve(set.blocks.size());
    for (std::size_t b = 0; b < set.blocks.size(); ++b) {
        const PublishedBlock& source = set.blocks[b];
        BlockPayload payload;
        payload.block_time = source.block_time;
        bool ok = true;
        std::size_t count = 0;
        switch (kind) {
            case DefinitionFileKind::kPests:
                for (const auto& record : source.pests)
                    ok = ok && AppendPestRecord(payload.plain, record);
                count = source.pests.size();
                break;
            case DefinitionFileKind::kSignatures:
                for (const auto& record : source.signatures)
                    ok = ok && AppendSignatureRecord(payload.plain, record);
                count = source.signatures.size();
                break;
            case DefinitionFileKind::kLocations:
                for (const auto& record : source.locations)
                    ok = ok && AppendLocationRecord(payload.plain, record);
                count = source.locations.size();
                break;
        }
        if (!ok || count > 0x7FFFFFFFu) {
            error = std::string(FileNameOf(kind)) + ": block " + std::to_string(b) +
                    " holds a record that cannot be written (a NUL in a text, or too large)";
            return std::nullopt;
        }
        payload.record_count = static_cast<std::uint32_t>(count);
        payloads.push_back(std::move(payload));
    }
    return payloads;
}

DefinitionFiles BuildDefinitionFiles(const DefinitionSet& set, const WriteOptions& options) {
    const auto build = [&set, &options](DefinitionFileKind kind) {
        BuiltFile built;
        auto payloads = EncodePayloads(set, kind, built.error);
        return payloads ? BuildBlockFile(*payloads, kind, options) : built;
    };
    // The files are independent: compressing them side by side matters for
    // the large synthetic sets.
    auto signatures = std::async(std::launch::async, build, DefinitionFileKind::kSignatures);
    auto locations = std::async(std::launch::async, build, DefinitionFileKind::kLocations);
    BuiltFile built[] = {build(DefinitionFileKind::kPests), signatures.get(), locations.get()};

    DefinitionFiles files;
    for (const BuiltFile& file : built) {
        if (!file.ok()) {
            files.error = file.error;
            return files;
        }
    }
    files.pests = std::move(built[0].bytes);
    files.signatures = std::move(built[1].bytes);
    files.locations = std::move(built[2].bytes);
    return files;
}

std::string WriteDefinitionFiles(const DefinitionSet& set, const std::string& out_dir,
                                 const WriteOptions& options) {
    const DefinitionFiles files = BuildDefinitionFiles(set, options);
    if (!files.ok())
        return files.error;
    std::error_code ec;
    std::filesystem::create_directories(out_dir, ec);
    if (ec)
        return out_dir + ": cannot make the folder (" + ec.message() + ")";
    const struct {
        DefinitionFileKind kind;
        const std::vector<std::uint8_t>* bytes;
    } outputs[] = {{DefinitionFileKind::kPests, &files.pests},
                   {DefinitionFileKind::kSignatures, &files.signatures},
                   {DefinitionFileKind::kLocations, &files.locations}};
    for (const auto& output : outputs) {
        const std::string path =
            (std::filesystem::path(out_dir) / FileNameOf(output.kind)).string();
        if (WriteWholeFile(path, *output.bytes, /*atomic=*/true) != FileError::kNone)
            return path + ": cannot write the file";
    }
    return {};
}

}  // namespace olvex::tools
