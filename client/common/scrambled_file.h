// Scrambled settings files (above all "URLs.ini"): the plain text with every
// byte XORed with one fixed mask byte, then a filler byte and the first 15
// bytes of the plain text's MD5 digest as a check. A stored file is 16 bytes
// longer than its text.
//
// Files are decoded in memory only: a plain copy of a stored file never
// reaches the disk, so no crash or second process can find it decoded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace olvex {

inline constexpr std::uint8_t kScrambleMask = 0xA7;
inline constexpr std::size_t kScrambledTrailerBytes = 16;  // filler + 15 digest bytes
inline constexpr std::size_t kScrambledCheckBytes = 15;
// The files are a few lines of settings; nothing larger is read.
inline constexpr std::uint64_t kMaxScrambledFileBytes = 1024 * 1024;

// destination[i] = source[i] ^ kScrambleMask for every byte of source. The
// buffers may be the same; false (nothing written) when destination is
// shorter than source.
bool XorBuffer(std::span<const std::uint8_t> source, std::span<std::uint8_t> destination);

// The stored form of a plain text.
std::vector<std::uint8_t> EncodeScrambled(std::span<const std::uint8_t> plain);

enum class ScrambledError {
    kNone = 0,
    kNotFound,     // the file cannot be opened
    kReadFailed,   // it could not be read
    kWriteFailed,  // it could not be written (the old file stays)
    kTooLarge,     // larger than kMaxScrambledFileBytes
    kTooShort,     // fewer than 16 bytes: no stored file
    kCheckFailed,  // the digest does not match the text
};

struct ScrambledText {
    ScrambledError error = ScrambledError::kNone;
    std::vector<std::uint8_t> plain;  // empty unless error is kNone
    explicit operator bool() const { return error == ScrambledError::kNone; }
};

// The plain text of a stored file's bytes. The filler byte is not checked.
ScrambledText DecodeScrambled(std::span<const std::uint8_t> stored);

// Reads and decodes a stored file; the file is not touched.
ScrambledText ReadScrambledFile(const std::string& path);

// Writes the stored form of plain to path, replacing it through a temporary
// file in the same folder, so that a failure leaves the old file.
ScrambledError WriteScrambledFile(const std::string& path, std::span<const std::uint8_t> plain);

// Turns a plain file into its stored form, in the same way.
ScrambledError EncodeFileInPlace(const std::string& path);

}  // namespace olvex
