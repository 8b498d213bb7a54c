#include "olvex/core/md5.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <random>

#include "testing/scratch_dir.h"

namespace olvex {
namespace {

using olvex::testing::ScratchDir;
using Bytes = std::vector<std::uint8_t>;

Bytes RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& x : b)
        x = static_cast<std::uint8_t>(rng());
    return b;
}

std::string HexOf(const Bytes& bytes) {
    CMD5Hasher hasher;
    Md5Digest digest;
    EXPECT_TRUE(hasher.HashBuffer(bytes, digest));
    return DigestToHex(digest);
}

std::string Write(const ScratchDir& dir, const std::string& name, const Bytes& bytes) {
    return dir.Write(name, std::vector<unsigned char>(bytes.begin(), bytes.end()));
}

TEST(Md5, Rfc1321TestSuite) {
    const struct {
        const char* text;
        const char* digest;
    } cases[] = {
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
    CMD5Hasher hasher;  // one object serves every call
    for (const auto& c : cases) {
        Md5Digest digest{};
        EXPECT_TRUE(hasher.HashString(c.text, digest));
        EXPECT_EQ(DigestToHex(digest), c.digest) << '"' << c.text << '"';
    }
    Md5Digest digest{};
    digest.fill(0xFF);
    EXPECT_FALSE(hasher.HashString(nullptr, digest));
    EXPECT_EQ(digest[0], 0);
    EXPECT_EQ(CMD5Hasher::DigestSize(), 16u);
}

TEST(Md5, DigestText) {
    Md5Digest digest{};
    digest[0] = 0xAB;
    digest[1] = 0x0C;
    digest[15] = 0xF1;
    EXPECT_EQ(DigestToHex(digest), "ab0c" + std::string(26, '0') + "f1");
}

// Feeding the context in pieces of every awkward size gives the one-shot digest.
TEST(Md5, PiecesMatchOneShot) {
    const Bytes data = RandomBytes(5000, 99);
    std::mt19937 rng(5);
    for (int round = 0; round < 50; ++round) {
        Md5Context context;
        std::size_t at = 0;
        while (at < data.size()) {
            const std::size_t piece = std::min<std::size_t>(rng() % 130, data.size() - at);
            context.Update({data.data() + at, piece});
            at += piece;
        }
        EXPECT_EQ(DigestToHex(context.Finish()), HexOf(data));
    }
}

TEST(Md5, FileForms) {
    ScratchDir dir;
    CMD5Hasher hasher;
    Md5Digest digest{};

    const auto empty = Write(dir, "empty.bin", {});
    EXPECT_TRUE(hasher.HashFileByName(empty, digest));
    EXPECT_EQ(DigestToHex(digest), "d41d8cd98f00b204e9800998ecf8427e");

    digest.fill(0xFF);
    EXPECT_FALSE(hasher.HashFileByName(dir.File("missing.bin"), digest));
    EXPECT_EQ(digest[0], 0);
    EXPECT_FALSE(hasher.HashFileRangeByName(dir.File("missing.bin"), 0, 10, digest));
    digest.fill(0xFF);
    EXPECT_FALSE(hasher.HashOpenFile(InputFile(), digest));
    EXPECT_EQ(digest[0], 0);
    InputFile closed;
    EXPECT_FALSE(hasher.HashFileRange(closed, 0, 0, digest));

    const Bytes data = RandomBytes(40000, 3);
    const auto path = Write(dir, "data.bin", data);
    EXPECT_TRUE(hasher.HashFileByName(path, digest));
    EXPECT_EQ(DigestToHex(digest), HexOf(data));

    // The open-file form reads from the start wherever the file stands.
    InputFile file;
    ASSERT_TRUE(file.Open(path));
    ASSERT_TRUE(file.Seek(1234));
    EXPECT_TRUE(hasher.HashOpenFile(std::move(file), digest));
    EXPECT_EQ(DigestToHex(digest), HexOf(data));
}

// A window of zeroed bytes equals the digest of a copy of the file with those
// bytes zeroed, wherever the window lies against the read blocks.
TEST(Md5, FileRangeEqualsZeroedCopy) {
    ScratchDir dir;
    CMD5Hasher hasher;
    const Bytes data = RandomBytes(40000, 11);
    const auto path = Write(dir, "data.bin", data);
    constexpr auto kAll = std::numeric_limits<std::uint64_t>::max();
    const struct {
        std::uint64_t offset, count;
    } cases[] = {
        {0, 0},      {0, 1},     {1000, 48},   {1020, 1100}, {2047, 2},   {16383, 2},
        {32760, 20}, {0, 40000}, {39990, 100}, {40000, 5},   {50000, 10}, {30000, kAll},
    };
    InputFile file;
    ASSERT_TRUE(file.Open(path));
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.offset) + "+" + std::to_string(c.count));
        Bytes zeroed = data;
        for (std::uint64_t i = c.offset; i < zeroed.size() && i - c.offset < c.count; ++i)
            zeroed[i] = 0;
        Md5Digest expected{}, by_name{}, open{};
        ASSERT_TRUE(hasher.HashFileByName(Write(dir, "zeroed.bin", zeroed), expected));
        EXPECT_TRUE(hasher.HashFileRangeByName(path, c.offset, c.count, by_name));
        EXPECT_EQ(DigestToHex(by_name), DigestToHex(expected));
        // The caller's file stays open and serves the next call.
        EXPECT_TRUE(hasher.HashFileRange(file, c.offset, c.count, open));
        EXPECT_TRUE(file.IsOpen());
        EXPECT_EQ(DigestToHex(open), DigestToHex(expected));
    }
}

#ifndef _WIN32
std::string Md5sumOf(const std::string& path) {
    const std::string command = "md5sum '" + path + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return {};
    char line[256] = {};
    const bool got = std::fgets(line, sizeof line, pipe) != nullptr;
    pclose(pipe);
    return got ? std::string(line, 32) : std::string();
}

TEST(Md5, AgreesWithMd5sum) {
    ScratchDir dir;
    CMD5Hasher hasher;
    for (const std::size_t size :
         {0u, 1u, 55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 1024u, 16384u, 16385u, 1000003u}) {
        const auto path = Write(dir, std::to_string(size) + ".bin", RandomBytes(size, size));
        Md5Digest digest{};
        EXPECT_TRUE(hasher.HashFileByName(path, digest));
        EXPECT_EQ(DigestToHex(digest), Md5sumOf(path)) << size;
    }
}

// A read that fails part-way is a failure, not a digest of what was read.
TEST(Md5, ReadErrorFails) {
    CMD5Hasher hasher;
    Md5Digest digest{};
    // Reading this process's memory file at offset 0 fails with an I/O error.
    EXPECT_FALSE(hasher.HashFileByName("/proc/self/mem", digest));
    EXPECT_EQ(digest, Md5Digest{});
}
#endif

}  // namespace
}  // namespace olvex
