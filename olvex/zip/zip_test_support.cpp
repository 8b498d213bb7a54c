#include "olvex/zip/zip_test_support.h"

#include <zlib.h>

#include <fstream>
#include <sstream>

#include "olvex/core/crc32.h"
#include "olvex/zip/zip_format.h"

namespace olvex::zip_test {

using namespace zip_format;

std::vector<std::uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

std::vector<std::uint8_t> RawDeflate(std::span<const std::uint8_t> data) {
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
    std::vector<std::uint8_t> out(deflateBound(&z, static_cast<uLong>(data.size())));
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

RawEntry Stored(const std::string& name, std::span<const std::uint8_t> data) {
    RawEntry e;
    e.name = name;
    e.payload.assign(data.begin(), data.end());
    e.crc = Crc32(data);
    e.compressed = e.uncompressed = static_cast<std::uint32_t>(data.size());
    return e;
}

RawEntry Deflated(const std::string& name, std::span<const std::uint8_t> data) {
    RawEntry e = Stored(name, data);
    e.method = kMethodDeflated;
    e.payload = RawDeflate(data);
    e.compressed = static_cast<std::uint32_t>(e.payload.size());
    return e;
}

std::vector<std::uint8_t> BuildArchive(const std::vector<RawEntry>& entries, const RawEnd& end) {
    std::vector<std::uint8_t> out, directory;
    for (const auto& e : entries) {
        const auto offset = static_cast<std::uint32_t>(out.size());
        if (e.write_local) {
            PutU32(out, kLocalHeaderSignature);
            PutU16(out, 20);
            PutU16(out, e.flags);
            PutU16(out, e.local_method.value_or(e.method));
            PutU16(out, 0x6000);
            PutU16(out, 0x3321);
            PutU32(out, e.crc);
            PutU32(out, e.compressed);
            PutU32(out, e.uncompressed);
            PutU16(out, static_cast<std::uint16_t>(e.name.size()));
            PutU16(out, 0);
            PutBytes(out, e.name);
            out.insert(out.end(), e.payload.begin(), e.payload.end());
            out.insert(out.end(), e.after_data.begin(), e.after_data.end());
        }
        PutU32(directory, kCentralHeaderSignature);
        PutU16(directory, 20);
        PutU16(directory, 20);
        PutU16(directory, e.flags);
        PutU16(directory, e.method);
        PutU16(directory, 0x6000);
        PutU16(directory, 0x3321);
        PutU32(directory, e.crc);
        PutU32(directory, e.compressed);
        PutU32(directory, e.uncompressed);
        PutU16(directory, static_cast<std::uint16_t>(e.name.size()));
        PutU16(directory, static_cast<std::uint16_t>(e.extra.size()));
        PutU16(directory, static_cast<std::uint16_t>(e.comment.size()));
        PutU16(directory, e.disk);
        PutU16(directory, 0);
        PutU32(directory, 0);
        PutU32(directory, e.offset.value_or(offset));
        PutBytes(directory, e.name);
        directory.insert(directory.end(), e.extra.begin(), e.extra.end());
        PutBytes(directory, e.comment);
    }
    const auto directory_offset = static_cast<std::uint32_t>(out.size());
    out.insert(out.end(), directory.begin(), directory.end());
    const auto count = static_cast<std::uint16_t>(entries.size());
    if (end.zip64) {
        const auto record_offset = out.size();
        PutU32(out, kZip64EndSignature);
        PutU32(out, 44);
        PutU32(out, 0);
        PutU16(out, 45);
        PutU16(out, 45);
        PutU32(out, 0);
        PutU32(out, 0);
        const std::uint64_t n = end.zip64_count ? end.zip64_count : entries.size();
        for (const std::uint64_t v :
             {n, n, std::uint64_t{directory.size()}, std::uint64_t{directory_offset}}) {
            PutU32(out, static_cast<std::uint32_t>(v));
            PutU32(out, static_cast<std::uint32_t>(v >> 32));
        }
        PutU32(out, kZip64LocatorSignature);
        PutU32(out, 0);
        PutU32(out, static_cast<std::uint32_t>(record_offset));
        PutU32(out, 0);
        PutU32(out, 1);
    }
    PutU32(out, kEndSignature);
    PutU16(out, end.disk.value_or(0));
    PutU16(out, end.disk.value_or(0));
    PutU16(out, end.count.value_or(count));
    PutU16(out, end.count.value_or(count));
    PutU32(out, end.directory_size.value_or(static_cast<std::uint32_t>(directory.size())));
    PutU32(out, end.directory_offset.value_or(directory_offset));
    PutU16(out, static_cast<std::uint16_t>(end.comment.size()));
    PutBytes(out, end.comment);
    return out;
}

std::string HexDecode(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

std::vector<ManifestEntry> ReadManifest(const std::string& path) {
    std::vector<ManifestEntry> entries;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream fields(line);
        std::string field;
        while (std::getline(fields, field, '\t'))
            f.push_back(field);
        while (f.size() < 10)
            f.emplace_back();
        ManifestEntry e;
        e.archive = f[0];
        e.password = f[1] == "-" ? "" : f[1];
        e.index = std::stoul(f[2]);
        e.name = HexDecode(f[3]);
        e.utf8 = f[4] == "1";
        e.comment = HexDecode(f[5]);
        e.size = std::stoull(f[6]);
        e.crc = static_cast<std::uint32_t>(std::stoul(f[7], nullptr, 16));
        e.decoded_name = HexDecode(f[8]);
        e.encrypted = f[9] == "1";
        entries.push_back(e);
    }
    return entries;
}

std::string TestDataPath(const std::string& name) {
    return std::string(OLVEX_TEST_DATA_DIR) + "/" + name;
}

}  // namespace olvex::zip_test
