#include "olvex/scan/file_identification.h"

#include <algorithm>

#include "olvex/core/crc32.h"
#include "olvex/core/file_io.h"
#include "olvex/core/md5.h"

namespace olvex {
namespace {

bool IsZeroDigest(const Md5Digest& digest) {
    return std::all_of(digest.begin(), digest.end(), [](std::uint8_t b) { return b == 0; });
}

}  // namespace

std::optional<std::uint32_t> FileHead::Crc() const {
    if (bytes.empty() || size >= 0x100000000ull)
        return std::nullopt;
    return Crc32(bytes);
}

bool FileHead::StartsAsZip() const {
    return bytes.size() >= 2 && bytes[0] == 'P' && bytes[1] == 'K';
}

std::optional<FileHead> ReadFileHead(const std::string& path) {
    InputFile file;
    if (!file.Open(path))
        return std::nullopt;
    const auto size = file.Size();
    if (!size)
        return std::nullopt;
    FileHead head;
    head.size = *size;
    head.bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(*size, kFileHeadBytes)));
    const auto got = file.ReadFull(head.bytes);
    if (!got)
        return std::nullopt;
    // A file that shrank meanwhile: the head is what is there.
    head.bytes.resize(*got);
    return head;
}

std::optional<std::int32_t> MatchSignatureCandidates(std::span<const DatSignatureEntry> candidates,
                                                     const Md5Supplier& md5, SignaturePick pick) {
    std::optional<std::optional<Md5Digest>> content_md5;  // asked once
    std::optional<std::int32_t> found;
    for (const DatSignatureEntry& candidate : candidates) {
        if (candidate.md5_malformed)
            continue;
        bool matches = IsZeroDigest(candidate.md5);
        if (!matches) {
            if (!content_md5)
                content_md5 = md5 ? md5() : std::nullopt;
            matches = content_md5->has_value() && **content_md5 == candidate.md5;
        }
        if (!matches)
            continue;
        found = candidate.pest_id;
        if (pick == SignaturePick::kFirst)
            break;
    }
    return found;
}

std::optional<Md5Digest> FileMd5(const std::string& path) {
    Md5Digest digest{};
    if (CMD5Hasher().HashFileByName(path, digest))
        return digest;
    return std::nullopt;
}

}  // namespace olvex
