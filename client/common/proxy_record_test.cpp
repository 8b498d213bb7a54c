#include "client/common/proxy_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace olvex {
namespace {

std::span<const std::uint8_t> Bytes(std::string_view text) {
    return std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

TEST(ProxyRecord, SavedSettingsReadBackWhateverTheRandomBytes) {
    const ProxyRecord records[] = {
        {"proxy.example", 8080, "DOMAIN\\user", "p@ss:word"},
        {"10.0.0.1", 3128, "", ""},
        {"", 0, "", ""},
        {"h", 1, "a", "b"},                                               // data of 10 bytes
        {"host", 65535, std::string(1500, 'a'), std::string(1669, 'b')},  // the largest
        {"h\xC3\xA9", 80, "\xFF\xFE", "caf\xE9"},
    };
    for (const auto& record : records) {
        const auto first = EncodeProxyRecord(record, 1);
        const auto second = EncodeProxyRecord(record, 2);
        ASSERT_TRUE(first && second) << record.host;
        EXPECT_EQ(first->size(), kProxyRecordBytes);
        EXPECT_NE(*first, *second);  // the random bytes differ
        EXPECT_EQ(DecodeProxyRecord(*first), record);
        EXPECT_EQ(DecodeProxyRecord(*second), record);
        // The texts are not in the file as they are.
        if (record.account.size() > 1) {
            const std::string stored(first->begin(), first->end());
            EXPECT_EQ(stored.find(record.account), std::string::npos);
        }
    }
    // The layout: masked length at 32, the scrambled host at 34.
    const auto stored = EncodeProxyRecord({"abcd", 80, "u", "p"}, 7);
    ASSERT_TRUE(stored);
    EXPECT_EQ(((*stored)[32] | ((*stored)[33] << 8)) ^ kProxyLengthMask, 4 + 1 + 1 + 7);
    EXPECT_EQ((*stored)[34], 'a' ^ (kProxyDataMask & 0xFF));
    EXPECT_EQ((*stored)[35], 'b' ^ (kProxyDataMask >> 8));
    EXPECT_EQ((*stored)[36], 'c');
    EXPECT_EQ((*stored)[38], 0 ^ (kProxyDataMask & 0xFF));  // the host's zero byte
}

TEST(ProxyRecord, TextsThatCannotBeStoredAreRefused) {
    EXPECT_FALSE(
        EncodeProxyRecord({"host", 80, std::string(1501, 'a'), std::string(1669, 'b')}, 1));
    EXPECT_FALSE(EncodeProxyRecord({std::string("ho\0st", 5), 80, "", ""}, 1));
    EXPECT_FALSE(EncodeProxyRecord({"host", 80, "a", std::string("p\0", 2)}, 1));
}

TEST(ProxyRecord, DamagedRecordsGiveNoSettings) {
    const auto good = *EncodeProxyRecord({"proxy", 8080, "user", "secret"}, 3);
    auto with_length = [&](std::size_t length) {
        auto bytes = good;
        const auto masked = static_cast<std::uint16_t>(length ^ kProxyLengthMask);
        bytes[32] = static_cast<std::uint8_t>(masked);
        bytes[33] = static_cast<std::uint8_t>(masked >> 8);
        return bytes;
    };
    EXPECT_FALSE(DecodeProxyRecord(std::span(good).first(kProxyRecordBytes - 1)));
    EXPECT_FALSE(DecodeProxyRecord(with_length(0)));
    EXPECT_FALSE(DecodeProxyRecord(with_length(6)));
    EXPECT_FALSE(DecodeProxyRecord(with_length(0xFFFF)));
    EXPECT_FALSE(DecodeProxyRecord(with_length(kProxyRecordBytes)));
    EXPECT_FALSE(DecodeProxyRecord(with_length(10)));  // the texts end past the data
    EXPECT_FALSE(DecodeProxyRecord(with_length(30)));  // the data goes on past the texts
    // A zero-free record cannot end its texts anywhere.
    std::vector<std::uint8_t> no_zeros(kProxyRecordBytes, 0x41);
    const auto masked = static_cast<std::uint16_t>(3000 ^ kProxyLengthMask);
    no_zeros[32] = static_cast<std::uint8_t>(masked);
    no_zeros[33] = static_cast<std::uint8_t>(masked >> 8);
    EXPECT_FALSE(DecodeProxyRecord(no_zeros));
    // A longer file is read for its first record.
    auto longer = good;
    longer.resize(kProxyRecordBytes + 10, 0xEE);
    EXPECT_TRUE(DecodeProxyRecord(longer));
}

TEST(ProxyRecord, Base64IsStandardAndNeverBreaksTheLine) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {"Aladdin:open sesame", "QWxhZGRpbjpvcGVuIHNlc2FtZQ=="},
        {"\xFF\xFE\xFD", "//79"},
    };
    for (const auto& [text, encoded] : cases)
        EXPECT_EQ(Base64Encode(Bytes(text)), encoded) << text;
    const std::string long_text(300, 'x');
    const auto encoded = Base64Encode(Bytes(long_text));
    EXPECT_EQ(encoded.size(), 400u);
    EXPECT_EQ(encoded.find_first_of("\r\n"), std::string::npos);

    EXPECT_EQ(BasicCredentials("Aladdin", "open sesame"), "QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
    EXPECT_EQ(BasicCredentials("user", ""), "");
    EXPECT_EQ(BasicCredentials("", "secret"), "");
    EXPECT_EQ(BasicCredentials("us\r\ner", "pa\nss"), "dXMNCmVyOnBhCnNz");
}

TEST(ProxyRecord, SystemProxyListNamesTheHttpProxy) {
    const std::pair<std::string, std::optional<ProxyAddress>> cases[] = {
        {"ftp=a:21 http=b:8080", ProxyAddress{"b", 8080}},
        {"http=b:8080 ftp=a:21", ProxyAddress{"b", 8080}},
        {"ftp=a:21;http=b:8080;https=c:443", ProxyAddress{"b", 8080}},
        {"HTTP=proxy.example:3128", ProxyAddress{"proxy.example", 3128}},
        {"b", ProxyAddress{"b", 80}},
        {"b:", ProxyAddress{"b", 80}},
        {"10.1.2.3:8000", ProxyAddress{"10.1.2.3", 8000}},
        {"http://proxy:81/", ProxyAddress{"proxy", 81}},
        {"https=c:443 b:99", ProxyAddress{"b", 99}},
        {"ftp=a:21 https=c:443", std::nullopt},
        {"", std::nullopt},
        {"http=", std::nullopt},
        {"b:0", std::nullopt},
        {"b:65536", std::nullopt},
        {"b:80x", std::nullopt},
        {"http=b\r\nX-Injected:8080", ProxyAddress{"b", 80}},  // lines are entries
        {"http=user@b:80", std::nullopt},
    };
    for (const auto& [list, expected] : cases)
        EXPECT_EQ(ParseSystemProxyList(list), expected) << list;
}

TEST(ProxyRecord, UseProxyAnswerNamesTheNextProxy) {
    const std::pair<std::string, std::optional<ProxyAddress>> cases[] = {
        {"HTTP/1.1 305 Use Proxy\r\nLocation: http://proxy.example:8080/\r\n\r\n",
         ProxyAddress{"proxy.example", 8080}},
        {"HTTP/1.1 305 Use Proxy\r\nLocation: http://proxy.example\r\n\r\n",
         ProxyAddress{"proxy.example", 80}},
        {"HTTP/1.1 305 Use Proxy\r\nContent-Length: 0\r\nlocation:http://p:81\r\n",
         ProxyAddress{"p", 81}},
        {"HTTP/1.1 305 Use Proxy\r\nLocation: http://p:/x\r\n", ProxyAddress{"p", 80}},
        {"HTTP/1.1 305 Use Proxy\r\nX-Location: //evil:1\r\n\r\n", std::nullopt},
        {"HTTP/1.1 305 Use Proxy\r\n\r\n", std::nullopt},
        {"HTTP/1.1 305 Use Proxy\r\nLocation: /relative\r\n", std::nullopt},
        {"HTTP/1.1 305 Use Proxy\r\nLocation: http://p:99999/\r\n", std::nullopt},
        {"HTTP/1.1 305 Use Proxy\r\nLocation: http://p:80", ProxyAddress{"p", 80}},
    };
    for (const auto& [answer, expected] : cases)
        EXPECT_EQ(ParseUseProxyAnswer(answer), expected) << answer;
}

}  // namespace
}  // namespace olvex
