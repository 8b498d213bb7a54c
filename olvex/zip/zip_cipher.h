// The traditional PKWARE password encryption of zip entries (the "ZipCrypto"
// stream cipher keyed by three 32-bit registers). It is weak by today's
// standards; the quarantine uses it only to keep the containers' contents
// from being picked up by accident, and readers everywhere understand it.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace olvex {

class ZipCipher {
  public:
    explicit ZipCipher(std::string_view password);

    void Encrypt(std::span<std::uint8_t> bytes);
    void Decrypt(std::span<std::uint8_t> bytes);

  private:
    std::uint8_t KeyStreamByte() const;
    void UpdateKeys(std::uint8_t plain);

    std::uint32_t key0_ = 0x12345678;
    std::uint32_t key1_ = 0x23456789;
    std::uint32_t key2_ = 0x34567890;
};

}  // namespace olvex
