#include "olvex/core/jc_decoder.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "tools/jc/jc_encoder.h"

namespace olvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes B(const std::string& s) {
    return {s.begin(), s.end()};
}

// Writes streams code by code, so that each test says what it encodes.
class StreamBuilder {
  public:
    // n from 0 to 32, most significant bit first.
    StreamBuilder& Bits(std::uint32_t value, unsigned n) {
        for (unsigned i = n; i-- > 0;)
            bits_.push_back((value >> i) & 1);
        return *this;
    }
    StreamBuilder& Gamma(std::uint64_t v) {
        int top = 63;
        while (!((v >> top) & 1))
            --top;
        for (int i = top - 1; i >= 0; --i) {
            bits_.push_back((v >> i) & 1);
            bits_.push_back(i > 0);
        }
        return *this;
    }
    StreamBuilder& Width(unsigned width, unsigned base = 0) {
        Bits(0b001, 3).Bits(0, 4).Bits(0, 1).Bits(width - 7, 1);
        if (width == 7)
            Bits(base, 8);
        return *this;
    }
    StreamBuilder& Literal(std::uint32_t x, unsigned width = 8) {
        return Bits(1, 1).Bits(x, width);
    }
    StreamBuilder& Text(const std::string& s) {
        for (const char c : s)
            Literal(static_cast<std::uint8_t>(c));
        return *this;
    }
    StreamBuilder& Short(unsigned d, unsigned k) { return Bits(0b000, 3).Bits(d, 7).Bits(k, 2); }
    StreamBuilder& End() { return Short(0, 0); }
    StreamBuilder& LowBits(unsigned k, std::uint32_t value) {
        return Short(0, k).Bits(value, k + 3);
    }
    // 01, gamma g, low_bits plain bits of low (up to 64), gamma n.
    StreamBuilder& GammaMatch(std::uint64_t g, std::uint64_t low, unsigned low_bits,
                              std::uint64_t n) {
        Bits(0b01, 2).Gamma(g);
        if (low_bits > 32) {
            Bits(static_cast<std::uint32_t>(low >> 32), low_bits - 32);
            Bits(static_cast<std::uint32_t>(low), 32);
        } else {
            Bits(static_cast<std::uint32_t>(low), low_bits);
        }
        return Gamma(n);
    }
    StreamBuilder& Repeat(std::uint64_t n) { return Bits(0b01, 2).Gamma(2).Gamma(n); }
    StreamBuilder& Zero() { return Bits(0b001, 3).Bits(1, 4); }
    StreamBuilder& OneByte(unsigned distance) { return Bits(0b001, 3).Bits(distance + 1, 4); }
    // Raw runs of 256 plain bytes each; bytes.size() must be a multiple of 256.
    StreamBuilder& Raw(const Bytes& bytes) {
        Bits(0b001, 3).Bits(0, 4).Bits(1, 1);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            Bits(bytes[i], 8);
            if (i % 256 == 255)
                Bits(i + 1 < bytes.size(), 1);
        }
        return *this;
    }

    // Header and the bits packed into 32-bit little-endian words, the last
    // one padded with zeros.
    Bytes Build(std::uint32_t size, std::uint32_t checksum = 0) const {
        Bytes out = {0x4A, 0x43};
        PutLe32(out, size);
        PutLe32(out, checksum);
        for (std::size_t i = 0; i < bits_.size(); i += 32) {
            std::uint32_t word = 0;
            for (std::size_t j = 0; j < 32; ++j)
                word = word << 1 | (i + j < bits_.size() && bits_[i + j]);
            PutLe32(out, word);
        }
        return out;
    }

  private:
    static void PutLe32(Bytes& out, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    std::vector<bool> bits_;
};

Bytes RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& x : b)
        x = static_cast<std::uint8_t>(rng());
    return b;
}

struct Decoded {
    std::size_t result;
    Bytes output;  // the first `result` bytes of the destination
};

Decoded Decode(const Bytes& stream, std::size_t destination_size) {
    Bytes dest(destination_size, 0xEE);
    const std::size_t n = JcDecompress(stream, dest);
    EXPECT_LE(n, destination_size);
    dest.resize(std::min(n, destination_size));
    return {n, dest};
}

Decoded Decode(const Bytes& stream) {
    return Decode(stream, JcGetUnpackedSize(stream));
}

TEST(JcDecoder, UnpackedSizeNeedsTheTag) {
    const Bytes good = StreamBuilder().End().Build(0x01020304);
    EXPECT_EQ(JcGetUnpackedSize(good), 0x01020304u);
    Bytes wrong_tag = good;
    wrong_tag[1] = 'D';
    EXPECT_EQ(JcGetUnpackedSize(wrong_tag), 0u);
    EXPECT_EQ(JcGetUnpackedSize(Bytes(good.begin(), good.begin() + 9)), 0u);
    EXPECT_EQ(JcGetUnpackedSize({}), 0u);
}

TEST(JcDecoder, Checksum) {
    // Below 4 bytes there is nothing to sum.
    EXPECT_EQ(JcChecksum(B("abc")), 0u);
    // One word: (0 + 1) xor (rotl(1, 1) + 1) = 1 xor 3.
    EXPECT_EQ(JcChecksum(Bytes{1, 0, 0, 0}), 2u);
    // A left-over byte takes one last word that overlaps the one before:
    // 0x02000000 from offset 1.
    EXPECT_EQ(JcChecksum(Bytes{1, 0, 0, 0, 2}), (2u + 0x02000000u) ^ (0x04000000u + 1u));
}

// Streams that decode, with the bytes they decode to.
TEST(JcDecoder, DecodesEachCode) {
    const Bytes history = RandomBytes(512, 7);
    const auto concat = [](std::initializer_list<Bytes> parts) {
        Bytes all;
        for (const auto& p : parts)
            all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    struct Case {
        const char* name;
        StreamBuilder stream;
        Bytes expected;
    } const cases[] = {
        {"plain literals, width 8",
         StreamBuilder().Width(8).Literal(0xFF).Literal('a').End(),
         {0xFF, 'a'}},
        {"width 7 adds the base modulo 256",
         StreamBuilder().Width(7, 0xF0).Literal(0x05, 7).Literal(0x20, 7).End(),
         {0xF5, 0x10}},
        {"a later width code replaces the base",
         StreamBuilder().Width(7, 0x40).Literal(1, 7).Width(8).Literal(1, 8).End(),
         {0x41, 0x01}},
        {"zero byte and one-byte copies",
         StreamBuilder().Width(8).Text("ab").Zero().OneByte(3).End(),
         {'a', 'b', 0, 'a'}},
        {"distance-1 copy of 5 repeats the last byte",
         StreamBuilder().Width(8).Text("x").Short(1, 3).End(), B("xxxxxx")},
        {"overlapping gamma-offset copy (offset 3 gets 4 more)",
         StreamBuilder().Width(8).Text("abc").GammaMatch(3, 3, 8, 6).End(), B("abcabcabcabca")},
        {"the first repeat uses offset 1", StreamBuilder().Width(8).Text("q").Repeat(3).End(),
         B("qqqq")},
        // Short match sets the last offset to 4; the one-byte copy from 6 does
        // not; the repeat copies "eb" from 4 back, not "cd" from 6.
        {"repeat reuses the last explicit offset",
         StreamBuilder().Width(8).Text("abcde").Short(4, 0).OneByte(6).Repeat(2).End(),
         B("abcdebcbeb")},
        {"raw runs", StreamBuilder().Raw(history).End(), history},
        {"4 offset low bits",
         StreamBuilder().Raw(history).LowBits(1, 4).GammaMatch(5, 5, 4, 2).End(),
         concat({history, Bytes(history.end() - 0x25, history.end() - 0x25 + 6)})},
        {"no offset low bits",
         StreamBuilder().Raw(history).LowBits(1, 0).GammaMatch(3 + 0x90, 0, 0, 2).End(),
         concat({history, Bytes(history.end() - 0x90, history.end() - 0x90 + 2)})},
        {"63 offset low bits",
         StreamBuilder().Width(8).Text("z").LowBits(3, 63).GammaMatch(3, 1, 63, 2).End(),
         B("zzzzzzz")},
        {"the end code ends the stream with input left",
         StreamBuilder().Width(8).Text("a").End().Text("bcd").End(), B("a")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto size = static_cast<std::uint32_t>(c.expected.size());
        const auto got = Decode(c.stream.Build(size));
        EXPECT_EQ(got.result, c.expected.size());
        EXPECT_EQ(got.output, c.expected);
        // The header checksum, when present, is checked against the output.
        const auto summed = Decode(c.stream.Build(size, JcChecksum(c.expected)));
        EXPECT_EQ(summed.output, c.expected);
    }
}

// A gamma-offset match gets extra length by its offset; the copy lands after
// a history of random bytes at least that long.
TEST(JcDecoder, LengthAdjustmentBoundaries) {
    const struct {
        std::uint32_t offset;
        std::size_t added;
    } cases[] = {{0x7F, 4},   {0x80, 0},   {0x27E, 0},  {0x27F, 1},
                 {0x37FE, 1}, {0x37FF, 2}, {0xFFFF, 2}, {0x10000, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.offset);
        const Bytes history = RandomBytes((c.offset + 255) / 256 * 256, c.offset);
        Bytes expected = history;
        const std::size_t from = history.size() - c.offset;
        expected.insert(expected.end(), history.begin() + from,
                        history.begin() + from + 2 + c.added);
        const auto stream = StreamBuilder()
                                .Raw(history)
                                .GammaMatch((c.offset >> 8) + 3, c.offset & 0xFF, 8, 2)
                                .End()
                                .Build(static_cast<std::uint32_t>(expected.size()));
        const auto got = Decode(stream);
        EXPECT_EQ(got.result, expected.size());
        EXPECT_TRUE(got.output == expected);
    }
}

// Matches are copied in chunks where there is room: every distance below,
// at and above a chunk, every length up to several chunks, with the match
// ending at the very end of the output or followed by more bytes, must give
// what a copy byte by byte gives.
TEST(JcDecoder, CopiesEqualByteByByteCopies) {
    const Bytes history = RandomBytes(64, 11);
    for (unsigned distance : {1u, 2u, 3u, 7u, 8u, 9u, 15u, 16u, 17u, 31u, 32u, 33u, 64u}) {
        for (std::uint64_t length = 1; length <= 70; ++length) {
            for (const std::size_t after : {0u, 1u, 7u, 15u, 16u, 40u}) {
                // A short match of 2 sets the distance, a repeat copies the
                // rest from it, then `after` more literals.
                Bytes expected = history;
                const auto copy = [&](std::uint64_t n) {
                    for (std::uint64_t i = 0; i < n; ++i)
                        expected.push_back(expected[expected.size() - distance]);
                };
                StreamBuilder stream;
                stream.Width(8).Text(std::string(history.begin(), history.end()));
                stream.Short(distance, 0);
                copy(2);
                if (length >= 2) {
                    stream.Repeat(length);
                    copy(length);
                }
                for (std::size_t i = 0; i < after; ++i) {
                    stream.Literal(static_cast<std::uint8_t>(i * 37));
                    expected.push_back(static_cast<std::uint8_t>(i * 37));
                }
                const auto size = static_cast<std::uint32_t>(expected.size());
                const auto got = Decode(stream.End().Build(size));
                ASSERT_EQ(got.output, expected)
                    << "distance " << distance << " length " << length << " after " << after;
            }
        }
    }
}

// A stream at the end of its own output buffer decodes over the input it has
// read. Where the output would run over input still to be read (a stream
// that packs much better at its start than at its end, with little room
// behind the output), the decode stops and says so.
TEST(JcDecoder, DecodesInPlace) {
    Bytes text;
    while (text.size() < 20000)
        text.insert(text.end(), {'k', 'e', 'y', ' ', '"', 'H', 'K', 'L', 'M', '\\', 'x', '"'});
    Bytes zeros_then_noise(65536, 0);
    const Bytes noise = RandomBytes(32768, 5);
    zeros_then_noise.insert(zeros_then_noise.end(), noise.begin(), noise.end());
    for (const Bytes& data : {text, zeros_then_noise, RandomBytes(3000, 6)}) {
        const Bytes stream = tools::JcCompress(data);
        const auto in_place = [&](std::size_t room) {
            Bytes buffer(std::max(data.size() + room, stream.size()), 0xEE);
            const std::size_t at = buffer.size() - stream.size();
            std::copy(stream.begin(), stream.end(), buffer.begin() + at);
            const auto result = JcDecompressInPlace(buffer, at, stream.size());
            buffer.resize(std::min(result.written, buffer.size()));
            return std::pair(result, buffer);
        };
        // Room for the whole stream behind the output: never overtaken.
        const auto [apart, apart_out] = in_place(stream.size());
        EXPECT_FALSE(apart.overtaken);
        EXPECT_EQ(apart.written, data.size());
        EXPECT_TRUE(apart_out == data);
        for (const std::size_t room : {0u, 16u, 1024u}) {
            const auto [result, out] = in_place(room);
            if (result.overtaken) {
                EXPECT_EQ(result.written, 0u);
                continue;
            }
            EXPECT_EQ(result.written, data.size()) << room;
            EXPECT_TRUE(out == data) << room;
        }
    }
    // The stream packing well first, then not at all, cannot be done in
    // little room.
    EXPECT_TRUE(
        [&] {
            const Bytes stream = tools::JcCompress(zeros_then_noise);
            Bytes buffer(zeros_then_noise.size() + 1024);
            const std::size_t at = buffer.size() - stream.size();
            std::copy(stream.begin(), stream.end(), buffer.begin() + at);
            return JcDecompressInPlace(buffer, at, stream.size()).overtaken;
        }());
    // A stream that fails on its own is not "overtaken"; nor is one outside
    // the buffer.
    Bytes bad = tools::JcCompress(text);
    bad[6] ^= 1;  // the checksum
    Bytes roomy(text.size() + bad.size());
    std::copy(bad.begin(), bad.end(), roomy.end() - static_cast<std::ptrdiff_t>(bad.size()));
    const auto failed = JcDecompressInPlace(roomy, roomy.size() - bad.size(), bad.size());
    EXPECT_EQ(failed.written, 0u);
    EXPECT_FALSE(failed.overtaken);
    EXPECT_EQ(JcDecompressInPlace(roomy, roomy.size() - 4, 8).written, 0u);
}

// A cut copy of a seed stream once made the copy compute a pointer before
// the output's start (the bytes it read were inside); the sanitized build
// stops at such arithmetic. It must simply fail.
TEST(JcDecoder, CutStreamFailsCleanly) {
    const Bytes cut = {0x4A, 0x43, 0x84, 0x00, 0x00, 0x00, 0xE3, 0x92, 0xF7,
                       0xFA, 0xC4, 0xE7, 0x00, 0x20, 0x28, 0x92, 0x58, 0xCA};
    EXPECT_EQ(Decode(cut).result, 0u);
    EXPECT_EQ(Decode(cut, 4096).result, 0u);
}

// An end code before the unpacked size is reached gives the count written.
TEST(JcDecoder, EarlyEndReturnsTheCount) {
    const auto stream = StreamBuilder().Width(8).Text("abcde").End();
    const auto got = Decode(stream.Build(100));
    EXPECT_EQ(got.result, 5u);
    EXPECT_EQ(got.output, B("abcde"));
    // The checksum covers what was written, not the rest of the buffer.
    EXPECT_EQ(Decode(stream.Build(100, JcChecksum(B("abcde")))).result, 5u);
}

TEST(JcDecoder, RejectsMalformedStreams) {
    const StreamBuilder abc = StreamBuilder().Width(8).Text("abc").End();
    const Bytes abc_stream = abc.Build(3);
    const auto without_last = [](Bytes b, std::size_t n) {
        b.resize(b.size() - n);
        return b;
    };
    Bytes bad_tag = abc_stream;
    bad_tag[0] = 'X';
    // 01 and a gamma whose every step says "more", filling whole words.
    Bytes many_ones_gamma =
        StreamBuilder().Width(8).Text("a").Bits(0b01, 2).Bits(0xFFF, 12).Build(1);
    for (int i = 0; i < 40; ++i)
        many_ones_gamma.insert(many_ones_gamma.end(), {0xFF, 0xFF, 0xFF, 0xFF});

    struct Case {
        const char* name;
        Bytes stream;
        std::size_t destination;
    } const cases[] = {
        {"missing tag", bad_tag, 3},
        {"shorter than the header", Bytes(abc_stream.begin(), abc_stream.begin() + 9), 3},
        {"plain literal before the width code", StreamBuilder().Text("a").End().Build(1), 1},
        {"literal past the unpacked size", abc.Build(2), 3},
        {"literal past the destination", abc.Build(3), 2},
        {"copy past the unpacked size",
         StreamBuilder().Width(8).Text("a").Short(1, 3).End().Build(4), 4},
        {"raw run past the unpacked size",
         StreamBuilder().Raw(RandomBytes(256, 1)).End().Build(255), 255},
        {"short match before any output", StreamBuilder().Width(8).Short(1, 0).End().Build(2), 2},
        {"repeat before any output", StreamBuilder().Width(8).Repeat(2).End().Build(2), 2},
        {"one-byte copy from before the start",
         StreamBuilder().Width(8).Text("a").OneByte(2).End().Build(2), 2},
        {"gamma offset beyond the output",
         StreamBuilder().Width(8).Text("a").GammaMatch(3, 0x80, 8, 2).End().Build(3), 3},
        {"gamma offset 0", StreamBuilder().Width(8).Text("a").GammaMatch(3, 0, 8, 2).End().Build(7),
         7},
        {"offset of 2^63",
         StreamBuilder().Width(8).Text("a").LowBits(3, 63).GammaMatch(4, 0, 63, 2).End().Build(7),
         7},
        {"huge length",
         StreamBuilder().Width(8).Text("a").Repeat(std::uint64_t{1} << 40).End().Build(7), 7},
        {"endless gamma", many_ones_gamma, 1},
        {"no end code (last word cut)", without_last(abc_stream, 4), 3},
        {"last word incomplete", without_last(abc_stream, 1), 3},
        {"checksum mismatch", abc.Build(3, JcChecksum(B("abc")) ^ 1), 3},
        {"size 1 with a checksum", StreamBuilder().Width(8).Text("a").End().Build(1, 1), 1},
        {"size 2 with a checksum", StreamBuilder().Width(8).Text("ab").End().Build(2, 5), 2},
        {"size 3 with a checksum", abc.Build(3, 0x12345678), 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Decode(c.stream, c.destination).result, 0u);
    }
    // The same streams with their faults mended decode.
    EXPECT_EQ(Decode(abc_stream, 3).output, B("abc"));
    EXPECT_EQ(Decode(abc.Build(3, JcChecksum(B("abc"))), 3).output, B("abc"));
    EXPECT_EQ(Decode(StreamBuilder().Width(8).Text("ab").End().Build(2, 0), 2).output, B("ab"));
    // Nothing is written when the tag is missing.
    Bytes dest(3, 0xEE);
    EXPECT_EQ(JcDecompress(bad_tag, dest), 0u);
    EXPECT_EQ(dest, Bytes(3, 0xEE));
}

}  // namespace
}  // namespace olvex
