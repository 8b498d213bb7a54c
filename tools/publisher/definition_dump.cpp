#include "tools/publisher/definition_dump.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string_view>

#include "olvex/core/definition_blocks.h"
#include "olvex/core/definition_records.h"
#include "olvex/core/file_io.h"
#include "olvex/core/md5.h"

namespace olvex::tools {
namespace {

std::string Hex32(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

std::string TimeText(std::uint64_t filetime) {
    const auto time = FileTimeToCalendar(filetime);
    if (!time)
        return "(not a time: " + std::to_string(filetime) + ")";
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", time->year, time->month,
                  time->day, time->hour, time->minute, time->second);
    return text;
}

std::string MagicText(std::uint32_t magic) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>(magic >> (8 * i));
        if (c < 0x20 || c > 0x7E)
            return Hex32(magic);
        text += c;
    }
    return text;
}

// The prefix "remove " and the positive id of a record.
std::string IdPart(std::int32_t pest_id, std::string_view kind) {
    const std::int64_t id = pest_id;
    return (pest_id <= 0 ? "remove " : "") + std::string(kind) + " " +
           std::to_string(pest_id <= 0 ? -id : id);
}

std::string NotePart(const std::string& note) {
    return note.empty() ? "" : "  # " + note;
}

void PrintHeaders(std::span<const std::uint8_t> bytes, std::uint64_t expected_date,
                  std::ostream& out) {
    std::size_t start = 0;
    for (int index = 0; start < bytes.size(); ++index) {
        const auto header = ParseBlockHeader(bytes.subspan(start));
        if (!header) {
            out << "block " << index << " at " << start << ": only " << bytes.size() - start
                << " bytes left, not a whole header\n";
            return;
        }
        out << "block " << index << " at " << start << ": time " << TimeText(header->block_time);
        if (header->payload_length == 0) {
            out << ", no payload\n";
            start += kDefinitionHeaderBytes;
            continue;
        }
        out << ", payload " << header->payload_length << " bytes, " << header->record_count
            << " records\n";
        out << "    magic " << MagicText(header->magic) << ", compatibility date "
            << TimeText(header->compatibility_date)
            << (header->compatibility_date == expected_date ? "" : " (wrong for this file)")
            << ", check value " << Hex32(header->check_value);
        const std::size_t body = start + kDefinitionHeaderBytes;
        if (header->payload_length < 0 ||
            static_cast<std::uint64_t>(header->payload_length) > bytes.size() - body) {
            out << "\n    the payload does not fit in the file\n";
            return;
        }
        const auto stored = bytes.subspan(body, static_cast<std::size_t>(header->payload_length));
        out << (DefinitionCheckValue(stored) == header->check_value ? " (matches)"
                                                                    : " (does not match)")
            << "\n";
        start = body + stored.size();
    }
}

bool PrintPests(const DecodedBlock& block, std::ostream& out) {
    const auto list = DecodePestRecords(block.data, static_cast<std::int32_t>(block.record_count));
    for (const auto& r : list.records)
        out << "  " << IdPart(r.pest_id, "pest") << " \"" << r.name << "\" \"" << r.category << "\""
            << NotePart(r.note) << "\n";
    if (!list.ok())
        out << "  malformed: " << list.error << "\n";
    return list.ok();
}

bool PrintSignatures(const DecodedBlock& block, std::ostream& out) {
    const auto list =
        DecodeSignatureRecords(block.data, static_cast<std::int32_t>(block.record_count));
    constexpr Md5Digest kNoMd5{};
    for (const auto& r : list.records) {
        out << "  ";
        if (r.file_crc != 0) {
            out << IdPart(r.pest_id, "signature") << " crc " << Hex32(r.file_crc);
            if (r.md5 != kNoMd5)
                out << " md5 " << DigestToHex(r.md5);
            if (r.memory_crc != 0)
                out << " memory " << Hex32(r.memory_crc);
        } else if (r.memory_crc != 0) {
            out << IdPart(r.pest_id, "memory") << " " << Hex32(r.memory_crc);
        } else {
            out << IdPart(r.pest_id, "signature") << " (no CRC)";
        }
        out << NotePart(r.note) << "\n";
    }
    if (!list.ok())
        out << "  malformed: " << list.error << "\n";
    return list.ok();
}

bool PrintLocations(const DecodedBlock& block, std::ostream& out) {
    const auto list =
        DecodeLocationRecords(block.data, static_cast<std::int32_t>(block.record_count));
    for (const auto& r : list.records) {
        const std::string_view text = r.text;
        const std::size_t word_end = std::min(text.find(' '), text.size());
        if (LocationKindOf(text) == LocationKind::kUnknown || word_end == 0)
            out << "  " << IdPart(r.pest_id, "location") << " " << text << "  # unknown kind\n";
        else
            out << "  " << IdPart(r.pest_id, text.substr(0, word_end)) << text.substr(word_end)
                << "\n";
    }
    if (!list.ok())
        out << "  malformed: " << list.error << "\n";
    return list.ok();
}

}  // namespace

bool DumpDefinitionBytes(std::span<const std::uint8_t> bytes, const std::string& path,
                         std::ostream& out) {
    out << "== " << path << " (" << bytes.size() << " bytes)\n";
    PrintHeaders(bytes, CompatibilityDateFor(path), out);

    const BlockFileResult read = ReadBlockBuffer(bytes, path);
    if (!read.ok()) {
        out << "read: failed, code " << read.code << ": " << read.text << "\n";
        return false;
    }
    out << "read: ok, " << read.blocks.size() << " payloads decoded";
    if (read.data_version)
        out << ", data version " << *read.data_version;
    out << "\n";

    const bool pests = IsPestsFile(path);
    const bool locations = IsLocationsFile(path);
    const bool signatures = path.find("qzfile", 1) != std::string::npos;
    bool ok = true;
    for (std::size_t i = 0; i < read.blocks.size(); ++i) {
        const DecodedBlock& block = read.blocks[i];
        out << "decoded payload " << i << ": " << block.record_count << " records in " << block.size
            << " bytes\n";
        if (pests)
            ok = PrintPests(block, out) && ok;
        else if (locations)
            ok = PrintLocations(block, out) && ok;
        else if (signatures)
            ok = PrintSignatures(block, out) && ok;
        else
            out << "  (record layout unknown: name the file qzinfo.dat, qzfile.dat or qzloc.dat)\n";
    }
    return ok;
}

bool DumpDefinitionFile(const std::string& name, std::ostream& out) {
    // The engine tells the file kinds apart by the full path, as it always has one.
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(name, ec);
    const std::string path = ec ? name : absolute.string();
    const FileBytes file = ReadWholeFile(path);
    if (!file) {
        out << "== " << path << ": cannot read the file\n";
        return false;
    }
    return DumpDefinitionBytes(file.bytes, path, out);
}

}  // namespace olvex::tools
