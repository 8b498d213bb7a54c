#include "client/common/proxy_record.h"

#include <algorithm>
#include <random>

namespace olvex {
namespace {

// Data bytes covered by scrambled words: the data rounded up to whole words.
std::size_t ScrambledSpan(std::size_t data_length) {
    return (data_length + 3) / 4 * 4;
}

// The longest data whose scrambled words still end inside the record.
constexpr std::size_t kMaxDataLength = (kProxyRecordBytes - kProxyRecordDataOffset) / 4 * 4;

void ScrambleWords(std::span<std::uint8_t> record, std::size_t data_length) {
    // A 16-bit mask widened to a 32-bit little-endian word changes only the
    // word's first two bytes.
    for (std::size_t at = kProxyRecordDataOffset; at < kProxyRecordDataOffset + data_length;
         at += 4) {
        record[at] ^= static_cast<std::uint8_t>(kProxyDataMask & 0xFF);
        record[at + 1] ^= static_cast<std::uint8_t>(kProxyDataMask >> 8);
    }
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

// "host", "host:" or "host:port"; without a port, 80.
std::optional<ProxyAddress> ParseHostAndPort(std::string_view text) {
    ProxyAddress address;
    const auto colon = text.find(':');
    address.host = std::string(text.substr(0, colon));
    if (!IsValidHostName(address.host))
        return std::nullopt;
    if (colon != std::string_view::npos && colon + 1 < text.size()) {
        const auto port = ParsePort(text.substr(colon + 1));
        if (!port)
            return std::nullopt;
        address.port = *port;
    }
    return address;
}

}  // namespace

std::optional<std::int32_t> ParsePort(std::string_view text) {
    if (text.empty() || text.size() > 5)
        return std::nullopt;
    std::int32_t port = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

std::optional<std::vector<std::uint8_t>> EncodeProxyRecord(const ProxyRecord& record,
                                                           std::uint64_t seed) {
    for (const auto* text : {&record.host, &record.account, &record.password}) {
        if (text->find('\0') != std::string::npos)
            return std::nullopt;
    }
    const std::size_t length =
        record.host.size() + record.account.size() + record.password.size() + 7;
    if (length > kMaxDataLength)
        return std::nullopt;

    std::vector<std::uint8_t> stored(kProxyRecordBytes);
    std::mt19937_64 random(seed);
    for (auto& byte : stored)
        byte = static_cast<std::uint8_t>(random());

    const auto masked = static_cast<std::uint16_t>(length ^ kProxyLengthMask);
    stored[32] = static_cast<std::uint8_t>(masked & 0xFF);
    stored[33] = static_cast<std::uint8_t>(masked >> 8);
    std::size_t at = kProxyRecordDataOffset;
    auto put_text = [&](const std::string& text) {
        std::copy(text.begin(), text.end(), stored.begin() + static_cast<std::ptrdiff_t>(at));
        at += text.size();
        stored[at++] = 0;
    };
    put_text(record.host);
    const auto port = static_cast<std::uint32_t>(record.port);
    for (int i = 0; i < 4; ++i)
        stored[at++] = static_cast<std::uint8_t>(port >> (8 * i));
    put_text(record.account);
    put_text(record.password);
    ScrambleWords(stored, length);
    return stored;
}

std::optional<ProxyRecord> DecodeProxyRecord(std::span<const std::uint8_t> stored) {
    if (stored.size() < kProxyRecordBytes)
        return std::nullopt;
    std::vector<std::uint8_t> record(
        stored.begin(), stored.begin() + static_cast<std::ptrdiff_t>(kProxyRecordBytes));
    const std::size_t length =
        static_cast<std::uint16_t>((record[32] | (record[33] << 8)) ^ kProxyLengthMask);
    if (length < 7 || length > kMaxDataLength ||
        kProxyRecordDataOffset + ScrambledSpan(length) > kProxyRecordBytes)
        return std::nullopt;
    ScrambleWords(record, length);

    const std::span<const std::uint8_t> data(record.data() + kProxyRecordDataOffset, length);
    std::size_t at = 0;
    auto take_text = [&](std::string& text) {
        const auto end = std::find(data.begin() + static_cast<std::ptrdiff_t>(at), data.end(), 0);
        if (end == data.end())
            return false;
        const auto stop = static_cast<std::size_t>(end - data.begin());
        text.assign(reinterpret_cast<const char*>(data.data()) + at, stop - at);
        at = stop + 1;
        return true;
    };
    ProxyRecord result;
    if (!take_text(result.host) || data.size() - at < 4)
        return std::nullopt;
    std::uint32_t port = 0;
    for (int i = 0; i < 4; ++i)
        port |= static_cast<std::uint32_t>(data[at++]) << (8 * i);
    result.port = static_cast<std::int32_t>(port);
    if (!take_text(result.account) || !take_text(result.password) || at != length)
        return std::nullopt;
    return result;
}

std::string Base64Encode(std::span<const std::uint8_t> bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t at = 0;
    for (; bytes.size() - at >= 3; at += 3) {
        const std::uint32_t group = (bytes[at] << 16) | (bytes[at + 1] << 8) | bytes[at + 2];
        for (int shift = 18; shift >= 0; shift -= 6)
            text += kAlphabet[(group >> shift) & 0x3F];
    }
    const std::size_t left = bytes.size() - at;
    if (left > 0) {
        const std::uint32_t group = (bytes[at] << 16) | (left == 2 ? bytes[at + 1] << 8 : 0);
        text += kAlphabet[(group >> 18) & 0x3F];
        text += kAlphabet[(group >> 12) & 0x3F];
        text += left == 2 ? kAlphabet[(group >> 6) & 0x3F] : '=';
        text += '=';
    }
    return text;
}

std::string BasicCredentials(std::string_view account, std::string_view password) {
    if (account.empty() || password.empty())
        return {};
    std::string pair(account);
    pair += ':';
    pair += password;
    return Base64Encode(std::span(reinterpret_cast<const std::uint8_t*>(pair.data()), pair.size()));
}

bool IsValidHostName(std::string_view host) {
    if (host.empty() || host.size() > 255)
        return false;
    return std::all_of(host.begin(), host.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '.' || c == '-' || c == '_';
    });
}

std::optional<ProxyAddress> ParseSystemProxyList(std::string_view list) {
    std::optional<std::string_view> http_entry;
    std::optional<std::string_view> any_entry;
    std::size_t at = 0;
    while (at < list.size()) {
        const auto end = list.find_first_of(" ;\t\r\n", at);
        const auto entry = list.substr(at, end == std::string_view::npos ? end : end - at);
        at = end == std::string_view::npos ? list.size() : end + 1;
        if (entry.empty())
            continue;
        if (StartsWithIgnoringCase(entry, "http=")) {
            if (!http_entry)
                http_entry = entry.substr(5);
        } else if (entry.find('=') == std::string_view::npos && !any_entry) {
            any_entry = entry;
        }
    }
    auto chosen = http_entry ? http_entry : any_entry;
    if (!chosen)
        return std::nullopt;
    std::string_view text = *chosen;
    if (StartsWithIgnoringCase(text, "http://"))
        text.remove_prefix(7);
    if (!text.empty() && text.back() == '/')
        text.remove_suffix(1);
    return ParseHostAndPort(text);
}

std::optional<ProxyAddress> ParseUseProxyAnswer(std::string_view raw_headers) {
    std::size_t at = 0;
    while (at < raw_headers.size()) {
        auto end = raw_headers.find('\n', at);
        if (end == std::string_view::npos)
            end = raw_headers.size();
        std::string_view line = raw_headers.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (!StartsWithIgnoringCase(line, "Location:"))
            continue;
        const auto slashes = line.find("//");
        if (slashes == std::string_view::npos)
            return std::nullopt;
        std::string_view rest = line.substr(slashes + 2);
        rest = rest.substr(0, rest.find_first_of("/?# "));
        if (rest.empty())
            return std::nullopt;
        return ParseHostAndPort(rest);
    }
    return std::nullopt;
}

}  // namespace olvex
