// MD5 (RFC 1321): whole-file fingerprints of pests and checks of downloads,
// with the file forms the scanner and the updater use and the digest's text
// form.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "olvex/core/file_io.h"

namespace olvex {

inline constexpr std::size_t kMd5DigestBytes = 16;
using Md5Digest = std::array<std::uint8_t, kMd5DigestBytes>;

// One running MD5 computation.
class Md5Context {
  public:
    Md5Context() { Reset(); }

    void Reset();
    void Update(std::span<const std::uint8_t> bytes);
    // Pads, writes the digest and clears the state; Reset before reuse.
    Md5Digest Finish();

  private:
    void Transform(const std::uint8_t* block);

    std::array<std::uint32_t, 4> state_{};
    std::uint64_t bit_count_ = 0;
    std::array<std::uint8_t, 64> buffer_{};
};

// The engine's MD5 operations. Each starts a new computation, so one object
// serves any number of calls. Every operation returns true with the digest
// written, or false with the digest zeroed. A file that cannot be read to its
// end is a failure, never a digest of the part that was read.
class CMD5Hasher {
  public:
    bool HashBuffer(std::span<const std::uint8_t> bytes, Md5Digest& digest);
    // The text's bytes up to its NUL; false for a null pointer.
    bool HashString(const char* text, Md5Digest& digest);
    // MD5 of the whole file as if the count bytes from offset were zero
    // bytes (only bytes inside the file are replaced; nothing is added past
    // its end). Reads from the start; the file stays open.
    bool HashFileRange(InputFile& file, std::uint64_t offset, std::uint64_t count,
                       Md5Digest& digest);
    // MD5 of the whole file from its start. Takes the file and closes it.
    bool HashOpenFile(InputFile file, Md5Digest& digest);
    bool HashFileRangeByName(const std::string& path, std::uint64_t offset, std::uint64_t count,
                             Md5Digest& digest);
    bool HashFileByName(const std::string& path, Md5Digest& digest);
    static constexpr std::size_t DigestSize() { return kMd5DigestBytes; }

  private:
    Md5Context context_;
};

// The 32 lower-case hexadecimal digits of a digest, byte 0 first, high
// nibble first.
std::string DigestToHex(const Md5Digest& digest);

}  // namespace olvex
