// The proxy settings store "proxyinfo.dat" and the texts around a proxy: the
// system's proxy list, a server's use-proxy answer and the Basic credentials
// of the "Proxy-Authorization" header.
//
// The store is 3216 bytes: 32 random bytes, the masked length L of the data
// (16 bits, little-endian), the data (host, a zero byte, the port as 32 bits
// little-endian, account, a zero byte, password, a zero byte), random bytes
// to the end. Every 32-bit little-endian word from offset 34 on that starts
// inside the data is XORed with a fixed 16-bit mask, so the last word may
// reach up to 3 bytes past the data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace olvex {

inline constexpr std::string_view kProxySettingsFileName = "proxyinfo.dat";
inline constexpr std::size_t kProxyRecordBytes = 3216;
inline constexpr std::size_t kProxyRecordDataOffset = 34;
inline constexpr std::uint16_t kProxyLengthMask = 0x6B2D;
inline constexpr std::uint16_t kProxyDataMask = 0x39C4;
inline constexpr std::int32_t kDefaultProxyPort = 80;

struct ProxyRecord {
    std::string host;
    std::int32_t port = 0;
    std::string account;
    std::string password;
    bool operator==(const ProxyRecord&) const = default;
};

// A decimal port of 1 to 65535, digits only; nullopt for anything else.
std::optional<std::int32_t> ParsePort(std::string_view text);

// The stored form, its random bytes drawn from a generator seeded with seed.
// Nullopt when a text holds a zero byte or the texts do not fit the record.
std::optional<std::vector<std::uint8_t>> EncodeProxyRecord(const ProxyRecord& record,
                                                           std::uint64_t seed);

// The settings in a stored record (its first kProxyRecordBytes bytes).
// Nullopt for a record that is too short, whose length does not fit it, or
// whose texts are not terminated inside the data.
std::optional<ProxyRecord> DecodeProxyRecord(std::span<const std::uint8_t> stored);

// Standard Base64 (RFC 4648 alphabet, "=" padding) in one line: it goes into
// a header, where a line break would end the header.
std::string Base64Encode(std::span<const std::uint8_t> bytes);

// The credentials of HTTP Basic authentication: Base64 of account ":"
// password; empty unless both are given.
std::string BasicCredentials(std::string_view account, std::string_view password);

struct ProxyAddress {
    std::string host;
    std::int32_t port = kDefaultProxyPort;
    bool operator==(const ProxyAddress&) const = default;
};

// A host name or address that can stand in a proxy setting and a request:
// letters, digits, ".", "-" and "_", at most 255 characters.
bool IsValidHostName(std::string_view host);

// The HTTP proxy of the system's proxy list, e.g. "ftp=a:21 http=b:8080" or
// "b:8080" (entries apart by blanks or ";"): the "http=" entry, else an
// entry that names no protocol. Without a port (or with an empty one), 80. Nullopt when the list
// names no HTTP proxy or it is malformed.
std::optional<ProxyAddress> ParseSystemProxyList(std::string_view list);

// The proxy a use-proxy (305) answer names in its "Location:" header: the
// host after "//" up to ":", "/" or the line end, then the decimal port up
// to "/" or the line end (80 when there is none). Nullopt when the answer
// names no valid proxy.
std::optional<ProxyAddress> ParseUseProxyAnswer(std::string_view raw_headers);

}  // namespace olvex
