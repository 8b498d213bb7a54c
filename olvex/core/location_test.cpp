// How location strings read: one table of texts, each checked through the
// eight-pair Location and the unlimited AttributeList.
#include "olvex/core/location.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "olvex/core/attribute_list.h"

namespace olvex {
namespace {

enum Kind : unsigned {
    kNone = 0,
    kExclusion = 1,
    kFile = 2,
    kRegistry = 4,
    kCookie = 8,
    kFolder = 16,
    kProcess = 32,
};

unsigned KindsOf(const Location& location) {
    const auto bit = [](bool yes, Kind kind) { return yes ? unsigned{kind} : 0u; };
    return bit(location.IsExclusion(), kExclusion) | bit(location.IsFile(), kFile) |
           bit(location.IsRegistryItem(), kRegistry) | bit(location.IsCookie(), kCookie) |
           bit(location.IsFolder(), kFolder) | bit(location.IsProcess(), kProcess);
}

struct Lookup {
    std::string name;
    std::optional<std::string> value;
    // The pair lies past the eighth: only the attribute list has it.
    bool past_location_limit = false;
};

struct Case {
    const char* what;
    std::string text;
    unsigned code_page;  // 0: a single-byte code page
    std::vector<AttributePair> pairs;
    unsigned kinds;
    std::vector<Lookup> lookups;
};

std::string Pairs(int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += std::string(i ? " " : "") + char('a' + i) + " \"" + std::to_string(i + 1) + "\"";
    return text;
}

std::vector<AttributePair> ExpectedPairs(int count) {
    std::vector<AttributePair> pairs;
    for (int i = 0; i < count; ++i)
        pairs.push_back({std::string(1, char('a' + i)), std::to_string(i + 1)});
    return pairs;
}

const Case kCases[] = {
    {"quoted path holding blanks",
     R"(File "C:\Program Files\a b.exe")",
     0,
     {{"File", R"(C:\Program Files\a b.exe)"}},
     kFile,
     {{"file", R"(C:\Program Files\a b.exe)"}, {"Folder", std::nullopt}}},
    {"registry value with data; names match in any case and with blanks around",
     R"(Key "hkey_local_machine Software\Some Vendor" value "Run Me" data "c:\x y.exe /s")",
     0,
     {{"Key", R"(hkey_local_machine Software\Some Vendor)"},
      {"value", "Run Me"},
      {"data", R"(c:\x y.exe /s)"}},
     kRegistry,
     {{"KEY", R"(hkey_local_machine Software\Some Vendor)"},
      {" key ", R"(hkey_local_machine Software\Some Vendor)"},
      {"\tVALUE\t", "Run Me"},
      {"Data", R"(c:\x y.exe /s)"},
      {"ke y", std::nullopt}}},
    {"a process is not a file",
     R"(ProcessId "1234" File "C:\p.exe")",
     0,
     {{"ProcessId", "1234"}, {"File", R"(C:\p.exe)"}},
     kProcess,
     {{"processid", "1234"}}},
    {"a module is a file",
     R"(ModuleName "m.dll" File "C:\m.dll")",
     0,
     {{"ModuleName", "m.dll"}, {"File", R"(C:\m.dll)"}},
     kFile,
     {}},
    {"a cookie file is a cookie, not a file",
     R"(File "C:\c\u@site[1].txt" Cookie "u@site[1].txt")",
     0,
     {{"File", R"(C:\c\u@site[1].txt)"}, {"Cookie", "u@site[1].txt"}},
     kCookie,
     {}},
    {"folder", R"(Folder "C:\Temp")", 0, {{"Folder", R"(C:\Temp)"}}, kFolder, {}},
    {"opening quote without a closing one stays in the value",
     R"(File "C:\open.exe)",
     0,
     {{"File", R"("C:\open.exe)"}},
     kFile,
     {}},
    {"two blanks before a quoted path: the value keeps a blank and both quotes",
     R"(File  "C:\a.exe")",
     0,
     {{"File", R"( "C:\a.exe")"}},
     kFile,
     {}},
    {"an empty quoted value is skipped and shifts what follows",
     R"(Key "k" value "" data "d")",
     0,
     {{"Key", "k"}, {"value", " data"}},
     kRegistry,
     {{"data", std::nullopt}}},
    {"nine pairs: the location keeps eight",
     Pairs(9),
     0,
     ExpectedPairs(9),
     kNone,
     {{"H", "8"}, {"i", "9", true}}},
    {"eight pairs reach the limit", Pairs(8), 0, ExpectedPairs(8), kNone, {}},
    {"seven pairs", Pairs(7), 0, ExpectedPairs(7), kNone, {}},
    {"exclude TRUE in capitals", R"(exclude "TRUE")", 0, {{"exclude", "TRUE"}}, kNone, {}},
    {"exclude true", R"(exclude "true")", 0, {{"exclude", "true"}}, kExclusion, {}},
    {"exclude untrue", R"(exclude "untrue")", 0, {{"exclude", "untrue"}}, kExclusion, {}},
    {"no blank between a closing quote and the next name",
     R"(File "a"Folder "b")",
     0,
     {{"File", "a"}, {"Folder", "b"}},
     kFile | kFolder,
     {}},
    {"unquoted value", R"(File C:\a.exe)", 0, {{"File", R"(C:\a.exe)"}}, kFile, {}},
    {"a quoted name keeps its blank; the blank after it opens the value",
     R"("a b" "c d")",
     0,
     {{"a b", R"( "c)"}},
     kNone,
     {}},
    {"empty text", "", 0, {}, kNone, {{"File", std::nullopt}}},
    {"only blanks: a blank-named pair", "     ", 0, {{"", " "}}, kNone, {{"  ", " "}}},
    {"a name alone", "File", 0, {}, kNone, {{"File", std::nullopt}}},
    {"a trailing name without value is dropped",
     R"(File "a" Folder)",
     0,
     {{"File", "a"}},
     kFile,
     {{"Folder", std::nullopt}}},
    {"a lone quote", "\"", 0, {}, kNone, {}},
    {"two quotes", "\"\"", 0, {}, kNone, {}},
    {"line break and NUL inside a value are read as they are",
     std::string("File \"a\nb\0c\"", 12),
     0,
     {{"File", std::string("a\nb\0c", 5)}},
     kFile,
     {}},
    // Double-byte code page 932: 0x82 leads, and the byte after it belongs
    // to the same character, whatever it looks like.
    {"single-byte: 0x82 before the closing quote is a character of its own",
     "File \"abc\x82\" Folder \"x\"",
     0,
     {{"File", "abc\x82"}, {"Folder", "x"}},
     kFile | kFolder,
     {}},
    {"cp932: a lead byte swallows the closing quote",
     "File \"abc\x82\" Folder \"x\"",
     932,
     {{"File", "abc\x82\" Folder "}},
     kFile,
     {}},
    {"cp932: a lead byte at the very end",
     "File \"abc\x82",
     932,
     {{"File", "\"abc\x82"}},
     kFile,
     {}},
    {"single-byte: \"true\" after 0x82",
     "exclude \"\x82true\"",
     0,
     {{"exclude", "\x82true"}},
     kExclusion,
     {}},
    {"cp932: \"t\" is the trail of a double-byte character, so no \"true\"",
     "exclude \"\x82true\"",
     932,
     {{"exclude", "\x82true"}},
     kNone,
     {}},
    {"cp932: \"true\" after a whole double-byte character",
     "exclude \"\x82\x82true\"",
     932,
     {{"exclude", "\x82\x82true"}},
     kExclusion,
     {}},
    {"single-byte: the A after 0x83 is a letter and folds",
     "\x83"
     "A \"1\"",
     0,
     {{"\x83"
       "A",
       "1"}},
     kNone,
     {{"\x83"
       "a",
       "1"}}},
    {"cp932: the A after 0x83 is a trail byte and never folds",
     "\x83"
     "A \"1\"",
     932,
     {{"\x83"
       "A",
       "1"}},
     kNone,
     {{"\x83"
       "a",
       std::nullopt},
      {"\x83"
       "A",
       "1"}}},
};

TEST(LocationString, ReadsTheTable) {
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        const auto mb = MultiByteText::ForCodePage(c.code_page);

        AttributeList list(mb);
        list.SetString(c.text);
        EXPECT_EQ(std::vector<AttributePair>(list.Pairs().begin(), list.Pairs().end()), c.pairs);
        EXPECT_EQ(list.GetString(), c.text);

        Location location(mb);
        const bool limit = location.SetString(c.text);
        const std::size_t kept = std::min(c.pairs.size(), kMaxLocationPairs);
        EXPECT_EQ(std::vector<AttributePair>(location.Pairs().begin(), location.Pairs().end()),
                  std::vector<AttributePair>(c.pairs.begin(), c.pairs.begin() + kept));
        EXPECT_EQ(limit, c.pairs.size() >= kMaxLocationPairs);
        EXPECT_EQ(KindsOf(location), c.kinds);

        for (const auto& lookup : c.lookups) {
            SCOPED_TRACE("lookup \"" + lookup.name + "\"");
            EXPECT_EQ(list.GetAttributeValue(lookup.name), lookup.value);
            EXPECT_EQ(location.GetAttributeValue(lookup.name),
                      lookup.past_location_limit ? std::nullopt : lookup.value);
        }
    }
}

TEST(LocationString, SetStringReplacesEverything) {
    const auto mb = MultiByteText::SingleByte();
    Location location(mb);
    EXPECT_TRUE(location.SetString(Pairs(9)));
    EXPECT_FALSE(location.SetString(R"(Cookie "x")"));
    ASSERT_EQ(location.Pairs().size(), 1u);
    EXPECT_EQ(location.GetAttributeValue("a"), std::nullopt);
    EXPECT_TRUE(location.IsCookie());
    location.Clear();
    EXPECT_TRUE(location.Pairs().empty());
    EXPECT_FALSE(location.IsCookie());
    EXPECT_EQ(location.Text(), "");

    AttributeList list(mb);
    list.SetString(Pairs(12));
    list.SetString(R"(PestId "3")");
    EXPECT_EQ(list.Pairs().size(), 1u);
    list.Clear();
    EXPECT_TRUE(list.Pairs().empty());
    EXPECT_EQ(list.GetString(), "");
}

}  // namespace
}  // namespace olvex
