#include "tools/jc/jc_encoder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "olvex/core/jc_decoder.h"

namespace olvex::tools {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t Le32(const Bytes& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// Random data built from the shapes that definition payloads and files show:
// noise, runs, repeats of earlier stretches (overlapping ones too), words of
// text and a small alphabet.
Bytes MakeSample(std::mt19937& rng, std::size_t size) {
    static const char* const kWords[] = {"HKEY_LOCAL_MACHINE",
                                         "\\Software\\",
                                         "Microsoft",
                                         "Run",
                                         "C:\\Program Files\\",
                                         ".exe",
                                         "toolbar",
                                         "adware",
                                         "\r\n",
                                         "0x",
                                         "%WINDIR%"};
    Bytes out;
    while (out.size() < size) {
        const std::size_t len = 1 + rng() % 700;
        switch (rng() % 6) {
            case 0:
                for (std::size_t i = 0; i < len; ++i)
                    out.push_back(static_cast<std::uint8_t>(rng()));
                break;
            case 1:
                out.insert(out.end(), 1 + rng() % 6000,
                           static_cast<std::uint8_t>(rng() % 3 ? rng() : 0));
                break;
            case 2:
                if (!out.empty()) {
                    const std::size_t distance = 1 + rng() % out.size();
                    for (std::size_t i = 0; i < len; ++i)
                        out.push_back(out[out.size() - distance]);
                }
                break;
            case 3:
                for (std::size_t i = 0; i < len / 8; ++i) {
                    const std::string w = kWords[rng() % std::size(kWords)];
                    out.insert(out.end(), w.begin(), w.end());
                }
                break;
            case 4:
                out.insert(out.end(), len, 0);
                break;
            default:
                for (std::size_t i = 0; i < len; ++i)
                    out.push_back(static_cast<std::uint8_t>('a' + rng() % 4));
                break;
        }
    }
    out.resize(size);
    return out;
}

Bytes RoundTrip(const Bytes& data, const JcEncodeOptions& options = {}) {
    const Bytes stream = JcCompress(data, options);
    Bytes out(JcGetUnpackedSize(stream));
    out.resize(JcDecompress(stream, out));
    return out;
}

TEST(JcEncoder, RoundTripsRandomBuffers) {
    std::mt19937 rng(20240611);
    std::vector<std::size_t> sizes = {0, 1, 2, 3, 4, 5, 255, 256, 257, 512, 65536};
    for (int i = 0; i < 250; ++i)
        sizes.push_back(rng() % 65537);
    for (const std::size_t size : sizes) {
        SCOPED_TRACE(size);
        const Bytes data = MakeSample(rng, size);
        const Bytes stream = JcCompress(data);
        ASSERT_GE(stream.size(), kJcHeaderBytes + 4);
        EXPECT_EQ(JcGetUnpackedSize(stream), size);
        EXPECT_EQ(Le32(stream, 6), JcChecksum(data));
        EXPECT_EQ((stream.size() - kJcHeaderBytes) % 4, 0u);

        Bytes out(size);
        ASSERT_EQ(JcDecompress(stream, out), size);
        ASSERT_TRUE(out == data);
        // Room to spare changes nothing: the header's size bounds the output.
        Bytes roomy(size + 300);
        EXPECT_EQ(JcDecompress(stream, roomy), size);
    }
}

TEST(JcEncoder, RoundTripsOddShapes) {
    std::mt19937 rng(77);
    Bytes noise(70000);
    for (auto& b : noise)
        b = static_cast<std::uint8_t>(rng());
    Bytes seven_bit(5000);
    for (auto& b : seven_bit)
        b = static_cast<std::uint8_t>(0xC0 + rng() % 64);  // needs a base that wraps
    Bytes wide_text;
    for (int i = 0; i < 3000; ++i)
        wide_text.insert(wide_text.end(), {static_cast<std::uint8_t>('A' + i % 26), 0});
    const struct {
        const char* name;
        Bytes data;
    } cases[] = {
        {"noise", noise},
        {"high bytes", seven_bit},
        {"UTF-16 text", wide_text},
        {"all values",
         [] {
             Bytes b(256 * 3);
             for (std::size_t i = 0; i < b.size(); ++i)
                 b[i] = static_cast<std::uint8_t>(i * 7);
             return b;
         }()},
        {"long run", Bytes(300000, 0x5A)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(RoundTrip(c.data) == c.data);
        // Without a checksum the stream carries 0 and decodes all the same.
        const Bytes stream = JcCompress(c.data, {.with_checksum = false});
        EXPECT_EQ(Le32(stream, 6), 0u);
        EXPECT_TRUE(RoundTrip(c.data, {.with_checksum = false}) == c.data);
    }
}

// Text records like the definition sources: many similar lines.
Bytes DefinitionText(std::size_t size) {
    std::mt19937 rng(1);
    static const char* const kSyllables[] = {"ad",     "spy", "tool", "bar",  "win",  "net",
                                             "search", "hot", "bot",  "dial", "ware", "x"};
    std::string text;
    for (unsigned id = 1000; text.size() < size; ++id) {
        std::string name;
        for (unsigned i = 0, n = 2 + rng() % 3; i < n; ++i)
            name += kSyllables[rng() % std::size(kSyllables)];
        char crc[16];
        std::snprintf(crc, sizeof crc, "%08X", static_cast<unsigned>(rng()));
        text += "P\t" + std::to_string(id) + "\t" + name + "\t" + std::to_string(rng() % 7) + "\n";
        text += "F\t" + std::to_string(id) + "\tC:\\Program Files\\" + name + "\\" + name +
                ".exe\t" + crc + "\n";
        text +=
            "R\t" + std::to_string(id) + "\tHKEY_LOCAL_MACHINE\\Software\\" + name + "\\Settings\n";
    }
    text.resize(size);
    return {text.begin(), text.end()};
}

TEST(JcEncoder, CompressesRunsAndText) {
    const Bytes zeros(1 << 20, 0);
    const Bytes zeros_stream = JcCompress(zeros);
    EXPECT_LT(zeros_stream.size(), 64u);
    EXPECT_TRUE(RoundTrip(zeros) == zeros);

    const Bytes text = DefinitionText(2 << 20);
    const Bytes text_stream = JcCompress(text);
    EXPECT_LT(text_stream.size(), text.size() / 3);
    EXPECT_TRUE(RoundTrip(text) == text);

    // Noise grows only by the raw runs' few bits in 2048.
    std::mt19937 rng(3);
    Bytes noise(1 << 16);
    for (auto& b : noise)
        b = static_cast<std::uint8_t>(rng());
    EXPECT_LT(JcCompress(noise).size(), noise.size() + noise.size() / 200 + 64);
}

}  // namespace
}  // namespace olvex::tools
