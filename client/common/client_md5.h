// The client programs' MD5 (RFC 1321). The client programs carry their own
// digest, apart from the engine's: it checks the scrambled settings files and
// fingerprints detected files in prevalence reports.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace olvex {

inline constexpr std::size_t kClientMd5Bytes = 16;
using ClientMd5Digest = std::array<std::uint8_t, kClientMd5Bytes>;

// One running digest: Update any number of times, then Finish.
class ClientMd5 {
  public:
    ClientMd5() { Reset(); }
    void Reset();
    void Update(std::span<const std::uint8_t> bytes);
    // Pads, gives the digest and starts a new computation.
    ClientMd5Digest Finish();

    static ClientMd5Digest DigestBuffer(std::span<const std::uint8_t> bytes);
    static ClientMd5Digest DigestString(std::string_view text);

    // The digest of a whole file; nullopt when it cannot be opened or read.
    static std::optional<ClientMd5Digest> DigestFile(const std::string& path);
    // The digest of a whole file with the count bytes from offset on taken as
    // zeros (they are never read); a range past the end counts only the
    // zeros that lie inside the file.
    static std::optional<ClientMd5Digest> DigestFileZeroedRange(const std::string& path,
                                                                std::uint64_t offset,
                                                                std::uint64_t count);

  private:
    void Transform(const std::uint8_t* block);

    std::array<std::uint32_t, 4> state_{};
    std::uint64_t byte_count_ = 0;
    std::array<std::uint8_t, 64> buffer_{};
};

}  // namespace olvex
