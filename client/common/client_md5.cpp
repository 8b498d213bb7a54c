#include "client/common/client_md5.h"

namespace olvex {

ClientMd5Digest ClientMd5::Finish() {
    const ClientMd5Digest digest = context_.Finish();
    context_.Reset();
    return digest;
}

ClientMd5Digest ClientMd5::DigestBuffer(std::span<const std::uint8_t> bytes) {
    ClientMd5 md5;
    md5.Update(bytes);
    return md5.Finish();
}

ClientMd5Digest ClientMd5::DigestString(std::string_view text) {
    return DigestBuffer({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

std::optional<ClientMd5Digest> ClientMd5::DigestFile(const std::string& path) {
    Md5Digest digest;
    if (!CMD5Hasher().HashFileByName(path, digest))
        return std::nullopt;
    return digest;
}

std::optional<ClientMd5Digest> ClientMd5::DigestFileZeroedRange(const std::string& path,
                                                                std::uint64_t offset,
                                                                std::uint64_t count) {
    Md5Digest digest;
    if (!CMD5Hasher().HashFileRangeByName(path, offset, count, digest))
        return std::nullopt;
    return digest;
}

}  // namespace olvex
