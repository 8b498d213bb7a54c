#include "olvex/zip/zip_cipher.h"

#include "olvex/core/crc32.h"

namespace olvex {
namespace {

std::uint32_t CrcByte(std::uint32_t running, std::uint8_t byte) {
    return UpdateCrc32(running, &byte, 1);
}

}  // namespace

ZipCipher::ZipCipher(std::string_view password) {
    for (const char c : password)
        UpdateKeys(static_cast<std::uint8_t>(c));
}

std::uint8_t ZipCipher::KeyStreamByte() const {
    const std::uint32_t temp = (key2_ | 2) & 0xFFFF;
    return static_cast<std::uint8_t>((temp * (temp ^ 1)) >> 8);
}

void ZipCipher::UpdateKeys(std::uint8_t plain) {
    key0_ = CrcByte(key0_, plain);
    key1_ = (key1_ + (key0_ & 0xFF)) * 134775813u + 1;
    key2_ = CrcByte(key2_, static_cast<std::uint8_t>(key1_ >> 24));
}

void ZipCipher::Encrypt(std::span<std::uint8_t> bytes) {
    for (auto& b : bytes) {
        const std::uint8_t plain = b;
        b = plain ^ KeyStreamByte();
        UpdateKeys(plain);
    }
}

void ZipCipher::Decrypt(std::span<std::uint8_t> bytes) {
    for (auto& b : bytes) {
        b ^= KeyStreamByte();
        UpdateKeys(b);
    }
}

}  // namespace olvex
