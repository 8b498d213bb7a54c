#include "olvex/core/scrambler.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "olvex/core/file_io.h"
#include "testing/scratch_dir.h"

namespace olvex {
namespace {

using olvex::testing::ScratchDir;

TEST(Scrambler, RoundTripsEveryLength) {
    std::mt19937 rng(77);
    for (std::size_t length = 0; length <= 600; ++length) {
        std::vector<std::uint8_t> plain(length);
        for (auto& b : plain)
            b = static_cast<std::uint8_t>(rng());
        auto buffer = plain;
        ScrambleBuffer(buffer);
        if (length > 0) {
            EXPECT_NE(buffer, plain) << "length " << length;
        }
        EXPECT_EQ(DescrambleBuffer(buffer), length);
        ASSERT_EQ(buffer, plain) << "length " << length;
    }
}

TEST(Scrambler, ChainsEachByteToTheStoredByteBeforeIt) {
    // Written out by hand, so that a changed mask (which would make every
    // published file unreadable) cannot pass unnoticed.
    std::vector<std::uint8_t> buffer{0x00, 0x00, 0xFF};
    ScrambleBuffer(buffer);
    const std::uint8_t s0 = kScrambleFirstMask;
    const auto s1 = static_cast<std::uint8_t>(kScrambleChainMask + s0);
    const auto s2 = static_cast<std::uint8_t>((0xFF ^ kScrambleChainMask) + s1);
    EXPECT_EQ(buffer, (std::vector<std::uint8_t>{s0, s1, s2}));
    EXPECT_EQ(kScrambleFirstMask, 0xA7);
    EXPECT_EQ(kScrambleChainMask, 0x3D);

    // A changed stored byte garbles itself and the byte behind it only.
    buffer[1] ^= 0x01;
    DescrambleBuffer(buffer);
    EXPECT_EQ(buffer[0], 0x00);
    EXPECT_NE(buffer[1], 0x00);
    EXPECT_NE(buffer[2], 0xFF);
}

TEST(Scrambler, RescrambleFileReplacesTheContent) {
    ScratchDir dir;
    const std::string text = "Category=\"Adware\"\nPath=\"c:\\x\"\n";
    const auto path = dir.Write("qzv5exc.dat", text);
    ASSERT_TRUE(RescrambleFile(path));
    auto bytes = ReadWholeFile(path).bytes;
    ASSERT_EQ(bytes.size(), text.size());
    DescrambleBuffer(bytes);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), text);
    EXPECT_FALSE(FileExists(path + ".tmp"));

    // An empty file stays empty.
    const auto empty = dir.Write("empty.dat", std::string());
    EXPECT_TRUE(RescrambleFile(empty));
    EXPECT_TRUE(ReadWholeFile(empty).bytes.empty());

    EXPECT_FALSE(RescrambleFile(dir.File("missing.dat")));
}

#ifdef _WIN32
TEST(Scrambler, FailedRescrambleLeavesTheFileAsItWas) {
    ScratchDir dir;
    const auto path = dir.Write("qzv5exc.dat", std::string("PestId=\"7\"\n"));
    {
        // Another program reads the file and lets nobody replace it meanwhile:
        // the new content cannot be put in place.
        InputFile reader;
        ASSERT_TRUE(reader.Open(path));
        EXPECT_FALSE(RescrambleFile(path));
    }
    const auto bytes = ReadWholeFile(path).bytes;
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "PestId=\"7\"\n");
    // And no temporary is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}
#endif

}  // namespace
}  // namespace olvex
