// Internal to the zip module: record signatures and sizes, a bounds-checked
// little-endian reader over hostile bytes, and a little-endian appender.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace olvex::zip_format {

inline constexpr std::uint32_t kLocalHeaderSignature = 0x04034B50;
inline constexpr std::uint32_t kCentralHeaderSignature = 0x02014B50;
inline constexpr std::uint32_t kEndSignature = 0x06054B50;
inline constexpr std::uint32_t kZip64EndSignature = 0x06064B50;
inline constexpr std::uint32_t kZip64LocatorSignature = 0x07064B50;

inline constexpr std::size_t kLocalHeaderSize = 30;
inline constexpr std::size_t kCentralHeaderSize = 46;
inline constexpr std::size_t kEndSize = 22;
inline constexpr std::size_t kZip64EndSize = 56;
inline constexpr std::size_t kZip64LocatorSize = 20;
inline constexpr std::size_t kMaxCommentSize = 0xFFFF;
inline constexpr std::uint16_t kZip64ExtraId = 0x0001;

inline constexpr std::uint16_t kFlagEncrypted = 0x0001;
inline constexpr std::uint16_t kFlagDataDescriptor = 0x0008;
inline constexpr std::uint16_t kFlagStrongEncryption = 0x0040;
inline constexpr std::uint16_t kFlagUtf8 = 0x0800;
inline constexpr std::uint16_t kFlagMaskedDirectory = 0x2000;

inline constexpr std::uint16_t kMethodStored = 0;
inline constexpr std::uint16_t kMethodDeflated = 8;

inline constexpr std::size_t kEncryptionHeaderSize = 12;

// Reads little-endian fields from a span. A read past the end yields zero and
// clears ok(); callers test ok() once after a group of reads.
class ByteReader {
  public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    bool ok() const { return ok_; }
    std::size_t position() const { return position_; }
    std::size_t remaining() const { return bytes_.size() - position_; }

    std::uint16_t U16() { return static_cast<std::uint16_t>(Field(2)); }
    std::uint32_t U32() { return static_cast<std::uint32_t>(Field(4)); }
    std::uint64_t U64() { return Field(8); }
    void Skip(std::size_t count) { Take(count); }
    std::span<const std::uint8_t> Bytes(std::size_t count) { return Take(count); }
    std::string Text(std::size_t count) {
        const auto bytes = Take(count);
        return std::string(bytes.begin(), bytes.end());
    }

  private:
    std::span<const std::uint8_t> Take(std::size_t count) {
        if (!ok_ || count > remaining()) {
            ok_ = false;
            return {};
        }
        const auto part = bytes_.subspan(position_, count);
        position_ += count;
        return part;
    }
    std::uint64_t Field(std::size_t width) {
        const auto bytes = Take(width);
        std::uint64_t value = 0;
        for (std::size_t i = bytes.size(); i > 0; --i)
            value = (value << 8) | bytes[i - 1];
        return value;
    }

    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
    bool ok_ = true;
};

inline void PutU16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}
inline void PutU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    PutU16(out, static_cast<std::uint16_t>(value));
    PutU16(out, static_cast<std::uint16_t>(value >> 16));
}
inline void PutBytes(std::vector<std::uint8_t>& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
}

}  // namespace olvex::zip_format
