// The client programs' MD5 (RFC 1321): it checks the scrambled settings files
// and fingerprints detected files in prevalence reports. The client programs
// never load the engine's code, but they share its portable MD5, which this
// wraps in the forms they use.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "olvex/core/md5.h"

namespace olvex {

inline constexpr std::size_t kClientMd5Bytes = kMd5DigestBytes;
using ClientMd5Digest = Md5Digest;

// One running digest: Update any number of times, then Finish.
class ClientMd5 {
  public:
    void Reset() { context_.Reset(); }
    void Update(std::span<const std::uint8_t> bytes) { context_.Update(bytes); }
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
    Md5Context context_;
};

}  // namespace olvex
