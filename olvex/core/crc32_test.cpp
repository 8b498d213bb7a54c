#include "olvex/core/crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "testing/scratch_dir.h"

namespace olvex {
namespace {

using olvex::testing::ScratchDir;

std::vector<std::uint8_t> Bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

TEST(Crc32, KnownAnswers) {
    EXPECT_EQ(Crc32(Bytes("123456789")), 0xCBF43926u);
    EXPECT_EQ(Crc32(Bytes("")), 0u);
    EXPECT_EQ(Crc32(Bytes("a")), 0xE8B7BE43u);
    // The running form: no preset, no inversion.
    EXPECT_EQ(~UpdateCrc32(UpdateCrc32(kCrc32Start, "1234", 4), "56789", 5), 0xCBF43926u);
}

TEST(Crc32, MatchesZlibOnRandomData) {
    std::mt19937 rng(1234);
    for (std::size_t size : {0u, 1u, 7u, 8u, 9u, 63u, 4096u, 100001u}) {
        std::vector<std::uint8_t> data(size);
        for (auto& b : data)
            b = static_cast<std::uint8_t>(rng());
        const auto expected = crc32(0L, data.data(), static_cast<uInt>(data.size()));
        EXPECT_EQ(Crc32(data), expected) << "size " << size;
        // Split at an unaligned point: same result.
        if (size > 3) {
            const auto part = UpdateCrc32(kCrc32Start, data.data(), 3);
            EXPECT_EQ(~UpdateCrc32(part, data.data() + 3, size - 3), expected);
        }
    }
}

TEST(Crc32, FileHeads) {
    ScratchDir dir;
    std::vector<std::uint8_t> big(3000);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<std::uint8_t>(i * 7 + 1);

    struct Case {
        const char* name;
        std::vector<std::uint8_t> content;
        bool ok;
        std::uint32_t head2047, head4096;
    } const cases[] = {
        {"one.bin", {0x41}, true, Crc32(Bytes("A")), Crc32(Bytes("A"))},
        {"big.bin", big, true, Crc32({big.data(), 2047}), Crc32(big)},
        {"empty.bin", {}, false, 0xFFFFFFFFu, 0xFFFFFFFFu},
    };
    for (const auto& c : cases) {
        const auto path =
            dir.Write(c.name, std::vector<unsigned char>(c.content.begin(), c.content.end()));
        std::uint32_t crc = 0, a = 0, b = 0;
        EXPECT_EQ(GetFileHeadCrc32(path, crc), c.ok) << c.name;
        EXPECT_EQ(crc, c.head2047) << c.name;
        EXPECT_EQ(GetFileHeadCrcs(path, a, b), c.ok) << c.name;
        EXPECT_EQ(a, c.head2047) << c.name;
        EXPECT_EQ(b, c.head4096) << c.name;
    }
    std::uint32_t crc = 0, a = 0, b = 0;
    EXPECT_FALSE(GetFileHeadCrc32(dir.File("missing"), crc));
    EXPECT_EQ(crc, 0xFFFFFFFFu);
    EXPECT_FALSE(GetFileHeadCrcs(dir.File("missing"), a, b));
}

}  // namespace
}  // namespace olvex
