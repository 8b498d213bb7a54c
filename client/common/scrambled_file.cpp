#include "client/common/scrambled_file.h"

#include <algorithm>

#include "client/common/client_md5.h"
#include "olvex/core/file_io.h"

namespace olvex {
namespace {

ScrambledError FromFileError(FileError error) {
    switch (error) {
        case FileError::kNone:
            return ScrambledError::kNone;
        case FileError::kNotFound:
            return ScrambledError::kNotFound;
        case FileError::kTooLarge:
            return ScrambledError::kTooLarge;
        case FileError::kWriteFailed:
            return ScrambledError::kWriteFailed;
        default:
            return ScrambledError::kReadFailed;
    }
}

}  // namespace

bool XorBuffer(std::span<const std::uint8_t> source, std::span<std::uint8_t> destination) {
    if (destination.size() < source.size())
        return false;
    for (std::size_t i = 0; i < source.size(); ++i)
        destination[i] = source[i] ^ kScrambleMask;
    return true;
}

std::vector<std::uint8_t> EncodeScrambled(std::span<const std::uint8_t> plain) {
    std::vector<std::uint8_t> stored(plain.size() + kScrambledTrailerBytes);
    XorBuffer(plain, stored);
    const auto digest = ClientMd5::DigestBuffer(plain);
    stored[plain.size()] = 0;  // the filler
    std::copy_n(digest.begin(), kScrambledCheckBytes, stored.begin() + plain.size() + 1);
    return stored;
}

ScrambledText DecodeScrambled(std::span<const std::uint8_t> stored) {
    ScrambledText result;
    if (stored.size() < kScrambledTrailerBytes) {
        result.error = ScrambledError::kTooShort;
        return result;
    }
    const std::size_t length = stored.size() - kScrambledTrailerBytes;
    std::vector<std::uint8_t> plain(length);
    XorBuffer(stored.first(length), plain);
    const auto digest = ClientMd5::DigestBuffer(plain);
    const auto check = stored.last(kScrambledCheckBytes);
    if (!std::equal(check.begin(), check.end(), digest.begin())) {
        result.error = ScrambledError::kCheckFailed;
        return result;
    }
    result.plain = std::move(plain);
    return result;
}

ScrambledText ReadScrambledFile(const std::string& path) {
    const auto file = ReadWholeFile(path, kMaxScrambledFileBytes);
    if (!file) {
        ScrambledText result;
        result.error = FromFileError(file.error);
        return result;
    }
    return DecodeScrambled(file.bytes);
}

ScrambledError WriteScrambledFile(const std::string& path, std::span<const std::uint8_t> plain) {
    if (plain.size() > kMaxScrambledFileBytes - kScrambledTrailerBytes)
        return ScrambledError::kTooLarge;
    return FromFileError(WriteWholeFile(path, EncodeScrambled(plain), true));
}

ScrambledError EncodeFileInPlace(const std::string& path) {
    const auto file = ReadWholeFile(path, kMaxScrambledFileBytes - kScrambledTrailerBytes);
    if (!file)
        return FromFileError(file.error);
    return WriteScrambledFile(path, file.bytes);
}

}  // namespace olvex
