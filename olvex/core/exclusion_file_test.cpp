#include "olvex/core/exclusion_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "olvex/core/scrambler.h"

namespace olvex {
namespace {

std::vector<std::uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

TEST(ExclusionFile, StoresEachTextWithALineFeedScrambledAsOneBuffer) {
    const std::vector<std::string> texts = {R"(PestId "12")", R"(Path "c:\program files\x")"};
    const auto stored = EncodeExclusionFile(texts);
    auto plain = stored;
    DescrambleBuffer(plain);
    EXPECT_EQ(plain, Bytes("PestId \"12\"\nPath \"c:\\program files\\x\"\n"));
    EXPECT_EQ(DecodeExclusionFile(stored), texts);
    EXPECT_TRUE(EncodeExclusionFile({}).empty());
    EXPECT_TRUE(DecodeExclusionFile({}).empty());
}

TEST(ExclusionFile, SplitsAtLineFeedsSkipsEmptyPiecesAndEndsAtNul) {
    using Texts = std::vector<std::string>;
    EXPECT_EQ(SplitExclusionLines("a\n\n\nb"), (Texts{"a", "b"}));
    EXPECT_EQ(SplitExclusionLines("\na\r\n"), (Texts{"a\r"}));
    EXPECT_EQ(SplitExclusionLines(std::string_view("a\nb\0c\n", 6)), (Texts{"a", "b"}));
    EXPECT_EQ(SplitExclusionLines(""), Texts{});
}

TEST(ExclusionFile, ConversionScramblesTheOldBytesOnce) {
    const auto plain = Bytes("PestId \"1\"\n\nCategory \"adware\"\n");
    const auto converted = ConvertOldExclusionFile(plain);
    auto expected = plain;
    ScrambleBuffer(expected);
    EXPECT_EQ(converted, expected);
    EXPECT_EQ(DecodeExclusionFile(converted),
              (std::vector<std::string>{"PestId \"1\"", "Category \"adware\""}));
}

TEST(ExclusionFile, OnlyTextsThatReadBackWholeAreStorable) {
    EXPECT_TRUE(IsStorableExclusion(R"(PestId "1")"));
    EXPECT_TRUE(IsStorableExclusion("x\r"));
    EXPECT_FALSE(IsStorableExclusion(""));
    EXPECT_FALSE(IsStorableExclusion("PestId \"1\"\nPestId \"2\""));
    EXPECT_FALSE(IsStorableExclusion(std::string_view("a\0b", 3)));
}

}  // namespace
}  // namespace olvex
