#include "client/common/scrambled_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/common/client_md5.h"
#include "olvex/core/file_io.h"
#include "testing/scratch_dir.h"

namespace olvex {
namespace {

using olvex::testing::ScratchDir;
using Bytes = std::vector<std::uint8_t>;

Bytes ToBytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

TEST(ScrambledFile, EncodeThenDecodeGivesTheSameBytes) {
    std::string binary;
    for (int i = 0; i < 256; ++i)
        binary += static_cast<char>(i);
    const std::string plains[] = {
        "",
        "a",
        "XJHOME_URL=http://127.0.0.1/\r\nQZSUPPORT_URL=http://127.0.0.1/s\r\n",
        std::string(55, 'x'),
        std::string(64, 'y'),
        binary};
    for (const auto& text : plains) {
        const auto plain = ToBytes(text);
        const auto stored = EncodeScrambled(plain);
        ASSERT_EQ(stored.size(), plain.size() + 16);
        EXPECT_EQ(stored[plain.size()], 0) << "filler";
        for (std::size_t i = 0; i < plain.size(); ++i)
            ASSERT_EQ(stored[i], plain[i] ^ kScrambleMask);
        const auto decoded = DecodeScrambled(stored);
        ASSERT_TRUE(decoded) << text;
        EXPECT_EQ(decoded.plain, plain);
    }
}

TEST(ScrambledFile, EmptyTextIsStoredAsFillerAndFifteenDigestBytes) {
    const auto stored = EncodeScrambled({});
    const Bytes expected = {0x00, 0xd4, 0x1d, 0x8c, 0xd9, 0x8f, 0x00, 0xb2,
                            0x04, 0xe9, 0x80, 0x09, 0x98, 0xec, 0xf8, 0x42};
    EXPECT_EQ(stored, expected);
}

TEST(ScrambledFile, AnyChangedByteButTheFillerFailsTheCheck) {
    const auto stored = EncodeScrambled(ToBytes("PREV_POST_URL=http://127.0.0.1/form"));
    const std::size_t filler = stored.size() - 16;
    for (std::size_t i = 0; i < stored.size(); ++i) {
        auto changed = stored;
        changed[i] ^= 0x01;
        const auto decoded = DecodeScrambled(changed);
        if (i == filler) {
            EXPECT_TRUE(decoded) << "filler byte";
        } else {
            EXPECT_EQ(decoded.error, ScrambledError::kCheckFailed) << "byte " << i;
            EXPECT_TRUE(decoded.plain.empty());
        }
    }
}

TEST(ScrambledFile, ShortOrCutFilesAreErrors) {
    for (std::size_t size = 0; size < 16; ++size)
        EXPECT_EQ(DecodeScrambled(Bytes(size, 0xA7)).error, ScrambledError::kTooShort) << size;
    const auto stored = EncodeScrambled(ToBytes("QZTOUR_URL=http://127.0.0.1/tour"));
    for (std::size_t cut = 1; cut <= stored.size(); ++cut) {
        const auto decoded = DecodeScrambled(std::span(stored).first(stored.size() - cut));
        EXPECT_FALSE(decoded) << cut;
    }
}

TEST(ScrambledFile, XorBufferNeedsRoomAndWorksInPlace) {
    Bytes data = {1, 2, 3};
    Bytes small(2);
    EXPECT_FALSE(XorBuffer(data, small));
    EXPECT_EQ(small, Bytes(2, 0));
    EXPECT_TRUE(XorBuffer({}, small));
    ASSERT_TRUE(XorBuffer(data, data));
    EXPECT_EQ(data, (Bytes{1 ^ kScrambleMask, 2 ^ kScrambleMask, 3 ^ kScrambleMask}));
}

TEST(ScrambledFile, FilesAreDecodedInMemoryAndNeverLeftPlain) {
    ScratchDir dir;
    const auto path = dir.File("URLs.ini");
    const auto plain = ToBytes("QZPESTINFO_URL=http://127.0.0.1/pest\r\n");
    ASSERT_EQ(WriteScrambledFile(path, plain), ScrambledError::kNone);
    EXPECT_FALSE(FileExists(path + ".tmp"));
    const auto stored = ReadWholeFile(path).bytes;
    EXPECT_EQ(stored, EncodeScrambled(plain));

    const auto read = ReadScrambledFile(path);
    ASSERT_TRUE(read);
    EXPECT_EQ(read.plain, plain);
    EXPECT_EQ(ReadWholeFile(path).bytes, stored) << "reading changed the file";

    // A corrupt file is an error and stays exactly as it was.
    auto corrupt = stored;
    corrupt[3] ^= 0x40;
    const auto bad = dir.Write("bad.ini", Bytes(corrupt.begin(), corrupt.end()));
    EXPECT_EQ(ReadScrambledFile(bad).error, ScrambledError::kCheckFailed);
    EXPECT_EQ(ReadWholeFile(bad).bytes, corrupt);

    EXPECT_EQ(ReadScrambledFile(dir.File("missing.ini")).error, ScrambledError::kNotFound);
    const auto big = dir.Write("big.ini", std::string(kMaxScrambledFileBytes + 1, 'b'));
    EXPECT_EQ(ReadScrambledFile(big).error, ScrambledError::kTooLarge);
    EXPECT_EQ(WriteScrambledFile(dir.File("no/such/folder/URLs.ini"), plain),
              ScrambledError::kWriteFailed);
}

TEST(ScrambledFile, EncodeInPlaceTurnsAPlainFileIntoItsStoredForm) {
    ScratchDir dir;
    const std::string text = "CORE_UPDATES_URL=http://127.0.0.1/core\r\n";
    const auto path = dir.Write("URLs.ini", text);
    ASSERT_EQ(EncodeFileInPlace(path), ScrambledError::kNone);
    EXPECT_EQ(ReadWholeFile(path).bytes, EncodeScrambled(ToBytes(text)));
    EXPECT_FALSE(FileExists(path + ".tmp"));
    EXPECT_EQ(ReadScrambledFile(path).plain, ToBytes(text));
    EXPECT_EQ(EncodeFileInPlace(dir.File("missing.ini")), ScrambledError::kNotFound);
}

}  // namespace
}  // namespace olvex
