#include "client/common/client_md5.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "testing/scratch_dir.h"

namespace olvex {
namespace {

std::string Hex(const ClientMd5Digest& digest) {
    std::string text;
    char pair[3];
    for (const auto byte : digest) {
        std::snprintf(pair, sizeof pair, "%02x", byte);
        text += pair;
    }
    return text;
}

TEST(ClientMd5, GivesTheRfc1321TestSuiteDigests) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& [text, digest] : cases)
        EXPECT_EQ(Hex(ClientMd5::DigestString(text)), digest) << text;
}

// Padding and block edges (55, 56, 63, 64, 65 bytes), fed whole and in every
// split, give one digest.
TEST(ClientMd5, PiecewiseUpdatesMatchTheWholeBuffer) {
    for (const std::size_t size : {55u, 56u, 63u, 64u, 65u, 130u}) {
        std::vector<std::uint8_t> bytes(size);
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<std::uint8_t>(i * 37 + 11);
        const auto whole = ClientMd5::DigestBuffer(bytes);
        for (std::size_t split = 0; split <= size; ++split) {
            ClientMd5 md5;
            md5.Update(std::span(bytes).first(split));
            md5.Update(std::span(bytes).subspan(split));
            ASSERT_EQ(md5.Finish(), whole) << size << " split at " << split;
        }
    }
}

// Files are hashed in pieces: sizes around the piece size give the digest of
// the same bytes in memory, and a zeroed range hashes as zeros wherever it
// falls.
TEST(ClientMd5, FileDigestsMatchTheBufferDigests) {
    testing::ScratchDir dir;
    for (const std::size_t size : {0u, 1u, 1023u, 1024u, 1025u, 5000u}) {
        std::vector<unsigned char> bytes(size);
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<unsigned char>(i * 131 + 7);
        const auto path = dir.Write("file" + std::to_string(size) + ".bin", bytes);
        EXPECT_EQ(ClientMd5::DigestFile(path), ClientMd5::DigestBuffer(bytes)) << size;

        const std::pair<std::uint64_t, std::uint64_t> ranges[] = {
            {0, 0}, {0, 10}, {1000, 48}, {1023, 2}, {size / 2, size}, {size + 5, 10}};
        for (const auto& [offset, count] : ranges) {
            auto zeroed = bytes;
            for (std::uint64_t i = offset; i < offset + count && i < size; ++i)
                zeroed[i] = 0;
            EXPECT_EQ(ClientMd5::DigestFileZeroedRange(path, offset, count),
                      ClientMd5::DigestBuffer(zeroed))
                << size << " zeroed " << offset << "+" << count;
        }
    }
    EXPECT_EQ(ClientMd5::DigestFile(dir.File("missing.bin")), std::nullopt);
    EXPECT_EQ(ClientMd5::DigestFile(dir.path().string()), std::nullopt);  // a folder
}

}  // namespace
}  // namespace olvex
