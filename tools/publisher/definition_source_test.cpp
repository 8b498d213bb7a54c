#include <gtest/gtest.h>

#include "olvex/core/crc32.h"
#include "olvex/core/definition_blocks.h"
#include "testing/scratch_dir.h"
#include "tools/publisher/definition_set.h"

namespace olvex::tools {
namespace {

using olvex::testing::ScratchDir;

SourceResult Parse(std::string_view text, const std::string& base_dir = ".") {
    return ParseDefinitionSource(text, base_dir, "test.defs");
}

TEST(DefinitionSource, CompilesEveryStatement) {
    ScratchDir dir;
    dir.Write("pests/abc.exe", std::string("abc"));
    const auto result = Parse(R"(# a comment line
block 2004-03-15 09:40
pest 1001 "Test Pest" Adware   # a bare word needs no quotes
signature 1001 file "pests/abc.exe"
signature 1001 crc 0x1BADB002
signature 1001 crc 1badb003 md5 00112233445566778899AABBCCDDEEFF
memory 1001 0xCAFE
key 1001 "HKEY_CURRENT_USER\Software\Test"
key 1001 "HKEY_CURRENT_USER\Software\Test" value "Run" data "c:\x y.exe"
key 1001 "HKEY_CURRENT_USER\Software\Test" data "only data"
file 1001 "%WINDOWS%\test.exe"
folder 1001 "%PROGRAM_FILES%\Test"
cookie 1001 "user@test.example"
exclude 1001 "%PROGRAM_FILES%\Test\readme.txt"

block 2004-04-01 12:00:30
remove pest 1001 "Test Pest" "Adware"
remove memory 1001 CAFE
remove cookie 1001 "user@test.example"
)",
                              dir.path().string());
    ASSERT_TRUE(result.ok()) << result.error;
    const auto& blocks = result.set.blocks;
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].block_time, *CalendarToFileTime({2004, 3, 15, 9, 40, 0}));
    EXPECT_EQ(blocks[1].block_time, *CalendarToFileTime({2004, 4, 1, 12, 0, 30}));

    EXPECT_EQ(blocks[0].pests, (std::vector<PestInfoRecord>{{1001, "Test Pest", "Adware", ""}}));
    ASSERT_EQ(blocks[0].signatures.size(), 4u);
    // CRC-32 and MD5 of "abc", as zlib and md5sum give them.
    const SignatureRecord from_file = {1001,
                                       0x352441C2,
                                       0,
                                       {0x90, 0x01, 0x50, 0x98, 0x3c, 0xd2, 0x4f, 0xb0, 0xd6, 0x96,
                                        0x3f, 0x7d, 0x28, 0xe1, 0x7f, 0x72},
                                       "abc.exe"};
    EXPECT_EQ(blocks[0].signatures[0], from_file);
    EXPECT_EQ(blocks[0].signatures[1], (SignatureRecord{1001, 0x1BADB002, 0, {}, ""}));
    EXPECT_EQ(blocks[0].signatures[2].md5[15], 0xFF);
    EXPECT_EQ(blocks[0].signatures[3], (SignatureRecord{1001, 0, 0xCAFE, {}, ""}));

    std::vector<std::string> texts;
    for (const auto& location : blocks[0].locations)
        texts.push_back(location.text);
    EXPECT_EQ(texts, (std::vector<std::string>{
                         R"(key "HKEY_CURRENT_USER\Software\Test")",
                         R"(key "HKEY_CURRENT_USER\Software\Test" value "Run" data "c:\x y.exe")",
                         R"(key "HKEY_CURRENT_USER\Software\Test" value "" data "only data")",
                         R"(file "%WINDOWS%\test.exe")",
                         R"(folder "%PROGRAM_FILES%\Test")",
                         R"(cookie "user@test.example")",
                         R"(exclude "%PROGRAM_FILES%\Test\readme.txt")",
                     }));
    EXPECT_EQ(blocks[1].pests, (std::vector<PestInfoRecord>{{-1001, "Test Pest", "Adware", ""}}));
    EXPECT_EQ(blocks[1].signatures, (std::vector<SignatureRecord>{{-1001, 0, 0xCAFE, {}, ""}}));
    EXPECT_EQ(blocks[1].locations,
              (std::vector<LocationRecord>{{-1001, R"(cookie "user@test.example")"}}));
}

TEST(DefinitionSource, ErrorsNameTheLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "test.defs:1: the source holds no block statement"},
        {"pest 1 a b", "test.defs:1: a record before the first block statement"},
        {"block 2004-02-30 10:00", "test.defs:1: not a valid date and time: 2004-02-30 10:00"},
        {"block 2004-03-15", "test.defs:1: block wants a date and a time"},
        {"block 2004-03-15 10:00\n\npest 0 a b", "test.defs:3: the pest id must be"},
        {"block 2004-03-15 10:00\npest 2147483648 a b", "test.defs:2: the pest id must be"},
        {"block 2004-03-15 10:00\npest 1 \"a b\"", "test.defs:2: pest wants a name and a category"},
        {"block 2004-03-15 10:00\npest 1 \"a b c", "test.defs:2: a double quote is not closed"},
        {"block 2004-03-15 10:00\npest 1 a\"b c", "test.defs:2: a double quote inside a word"},
        {"block 2004-03-15 10:00\nvirus 1 a", "test.defs:2: unknown statement \"virus\""},
        {"block 2004-03-15 10:00\nsignature 1 crc 0", "test.defs:2: the file CRC must be"},
        {"block 2004-03-15 10:00\nsignature 1 crc 123456789", "test.defs:2: the file CRC must be"},
        {"block 2004-03-15 10:00\nsignature 1 crc 1 md5 00", "test.defs:2: md5 wants 32"},
        {"block 2004-03-15 10:00\nsignature 1 file \"no/such.exe\"",
         "test.defs:2: cannot read the fixture file"},
        {"block 2004-03-15 10:00\nmemory 1 0", "test.defs:2: memory wants one non-zero"},
        {"block 2004-03-15 10:00\nkey 1 \"HKCU\"", "test.defs:2: the engine stores only keys"},
        {"block 2004-03-15 10:00\nkey 1 \"HKCU\\X\" data", "test.defs:2: data wants a text"},
        {"block 2004-03-15 10:00\nkey 1 \"HKCU\\X\" data \"d\" value \"v\"",
         "test.defs:2: key wants"},
        {"block 2004-03-15 10:00\nfile 1 \"x.exe\"", "test.defs:2: the engine stores only paths"},
        {"block 2004-03-15 10:00\nfolder 1 \" C:\\x\"",
         "test.defs:2: the engine would read this path back differently"},
        {"block 2004-03-15 10:00\ncookie 1 \"a@b \"",
         "test.defs:2: the engine would read this cookie name back differently"},
        {"block 2004-03-15 10:00\nremove", "test.defs:2: remove what?"},
    };
    for (const auto& [text, error] : cases) {
        const auto result = Parse(text);
        EXPECT_FALSE(result.ok()) << text;
        EXPECT_TRUE(result.error.starts_with(error)) << text << "\n  gave: " << result.error;
    }
}

TEST(DefinitionSource, ReadsFixturesBesideTheSourceFile) {
    ScratchDir dir;
    dir.Write("defs/files/x.bin", std::string(5000, 'x'));
    const auto path =
        dir.Write("defs/set.defs", std::string("block 2004-03-15 09:40\n"
                                               "signature 9 file \"files/x.bin\"\r\n"));
    const auto result = ReadDefinitionSource(path);
    ASSERT_TRUE(result.ok()) << result.error;
    // Only the first 2047 bytes count for the head CRC.
    const auto& signature = result.set.blocks[0].signatures.at(0);
    EXPECT_EQ(signature.file_crc, Crc32(std::vector<std::uint8_t>(2047, 'x')));
    EXPECT_FALSE(ReadDefinitionSource(dir.File("missing.defs")).ok());
}

}  // namespace
}  // namespace olvex::tools
