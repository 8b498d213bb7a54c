#include "olvex/core/location_builder.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "olvex/core/location_string.h"

namespace olvex {
namespace {

using Builder = std::function<std::optional<std::string>(const MultiByteText&)>;

struct Case {
    const char* what;
    unsigned code_page;
    Builder build;
    std::optional<std::string> text;   // nullopt: refused
    std::vector<AttributePair> pairs;  // what the text reads back as
};

const std::string kKey = R"(hkey_local_machine Software\Some Vendor\Run)";

const Case kCases[] = {
    {"file",
     0,
     [](auto& mb) { return BuildFileLocation(R"(C:\Program Files\a b.exe)", mb); },
     R"(File "C:\Program Files\a b.exe")",
     {{"File", R"(C:\Program Files\a b.exe)"}}},
    {"folder",
     0,
     [](auto& mb) { return BuildFolderLocation(R"(C:\Temp\x y)", mb); },
     R"(Folder "C:\Temp\x y")",
     {{"Folder", R"(C:\Temp\x y)"}}},
    {"registry key",
     0,
     [](auto& mb) { return BuildRegistryLocation(kKey, "", "", mb); },
     "Key \"" + kKey + "\"",
     {{"Key", kKey}}},
    {"registry value",
     0,
     [](auto& mb) { return BuildRegistryLocation(kKey, "Run Me", "", mb); },
     "Key \"" + kKey + "\" value \"Run Me\"",
     {{"Key", kKey}, {"value", "Run Me"}}},
    {"default value with data",
     0,
     [](auto& mb) { return BuildRegistryLocation(kKey, "", "c:\\x.exe -s", mb); },
     "Key \"" + kKey + "\" data \"c:\\x.exe -s\"",
     {{"Key", kKey}, {"data", "c:\\x.exe -s"}}},
    {"value with data",
     0,
     [](auto& mb) { return BuildRegistryLocation(kKey, "v", "d", mb); },
     "Key \"" + kKey + "\" value \"v\" data \"d\"",
     {{"Key", kKey}, {"value", "v"}, {"data", "d"}}},
    {"value name of blanks is kept",
     0,
     [](auto& mb) { return BuildRegistryLocation(kKey, " ", "", mb); },
     "Key \"" + kKey + "\" value \" \"",
     {{"Key", kKey}, {"value", " "}}},
    {"cookie",
     0,
     [](auto& mb) { return BuildCookieLocation("ad.example", mb); },
     R"(Cookie "ad.example")",
     {{"Cookie", "ad.example"}}},
    {"registry location in another user's hive",
     0,
     [](auto& mb) {
         return BuildUserHiveRegistryLocation(R"(S-1-5-21-7\Software\X)", "Run", "", mb);
     },
     R"(key "hkey_users \S-1-5-21-7\Software\X" value "Run")",
     {{"key", R"(hkey_users \S-1-5-21-7\Software\X)"}, {"value", "Run"}}},
    {"process",
     0,
     [](auto& mb) { return BuildProcessLocation(4294967295u, R"(C:\p.exe)", mb); },
     R"(ProcessId "4294967295" File "C:\p.exe")",
     {{"ProcessId", "4294967295"}, {"File", R"(C:\p.exe)"}}},
    {"module",
     0,
     [](auto& mb) { return BuildModuleLocation("m.dll", R"(C:\Program Files\m.dll)", mb); },
     R"(ModuleName "m.dll" File "C:\Program Files\m.dll")",
     {{"ModuleName", "m.dll"}, {"File", R"(C:\Program Files\m.dll)"}}},
    {"cookie file",
     0,
     [](auto& mb) { return BuildCookieFileLocation(R"(C:\Cookies\kim@ad[1].txt)", mb); },
     R"(File "C:\Cookies\kim@ad[1].txt" Cookie "kim@ad[1].txt")",
     {{"File", R"(C:\Cookies\kim@ad[1].txt)"}, {"Cookie", "kim@ad[1].txt"}}},
    {"cookie file without a folder",
     0,
     [](auto& mb) { return BuildCookieFileLocation("kim@ad[1].txt", mb); },
     R"(File "kim@ad[1].txt" Cookie "kim@ad[1].txt")",
     {{"File", "kim@ad[1].txt"}, {"Cookie", "kim@ad[1].txt"}}},
    // 0x83 0x5C is one character in code page 932: its trail byte is no backslash.
    {"cp932: cookie name after the last real backslash",
     932,
     [](auto& mb) { return BuildCookieFileLocation("C:\\C\\k@\x83\\[1].txt", mb); },
     "File \"C:\\C\\k@\x83\\[1].txt\" Cookie \"k@\x83\\[1].txt\"",
     {{"File", "C:\\C\\k@\x83\\[1].txt"}, {"Cookie", "k@\x83\\[1].txt"}}},
    {"single-byte: the same bytes hold one more backslash",
     0,
     [](auto& mb) { return BuildCookieFileLocation("C:\\C\\k@\x83\\[1].txt", mb); },
     "File \"C:\\C\\k@\x83\\[1].txt\" Cookie \"[1].txt\"",
     {{"File", "C:\\C\\k@\x83\\[1].txt"}, {"Cookie", "[1].txt"}}},
    {"archive entry",
     0,
     [](auto& mb) { return BuildArchiveEntryLocation(R"(C:\a b.zip|in.zip)", "x.exe", "", mb); },
     R"(File "C:\a b.zip|in.zip|x.exe")",
     {{"File", R"(C:\a b.zip|in.zip|x.exe)"}}},
    {"detected archive entry",
     0,
     [](auto& mb) {
         return BuildArchiveEntryLocation(R"(C:\a.zip)", "dir/x.exe", "Confirmed", mb);
     },
     R"(File "C:\a.zip|dir/x.exe" Certainty "Confirmed")",
     {{"File", R"(C:\a.zip|dir/x.exe)"}, {"Certainty", "Confirmed"}}},

    // Refusals: texts that would read back as other pairs or break a line.
    {"quote in a path",
     0,
     [](auto& mb) { return BuildFileLocation(R"(C:\a" Folder "b)", mb); },
     std::nullopt,
     {}},
    {"empty path", 0, [](auto& mb) { return BuildFolderLocation("", mb); }, std::nullopt, {}},
    {"empty key",
     0,
     [](auto& mb) { return BuildRegistryLocation("", "v", "", mb); },
     std::nullopt,
     {}},
    {"quote in a value name",
     0,
     [](auto& mb) { return BuildRegistryLocation(kKey, R"(a" data "b)", "", mb); },
     std::nullopt,
     {}},
    {"quote in data",
     0,
     [](auto& mb) { return BuildRegistryLocation(kKey, "", R"("c:\x.exe" %1)", mb); },
     std::nullopt,
     {}},
    {"line break in data",
     0,
     [](auto& mb) { return BuildRegistryLocation(kKey, "v", "a\r\nb", mb); },
     std::nullopt,
     {}},
    {"NUL in a cookie name",
     0,
     [](auto& mb) { return BuildCookieLocation(std::string("a\0b", 3), mb); },
     std::nullopt,
     {}},
    {"tab in a hive key path",
     0,
     [](auto& mb) { return BuildUserHiveRegistryLocation("S-1\tX", "", "", mb); },
     std::nullopt,
     {}},
    {"empty process image path",
     0,
     [](auto& mb) { return BuildProcessLocation(4, "", mb); },
     std::nullopt,
     {}},
    {"quote in an archive entry name",
     0,
     [](auto& mb) { return BuildArchiveEntryLocation(R"(C:\a.zip)", R"(x" y)", "", mb); },
     std::nullopt,
     {}},
    {"cookie file path ends in a backslash",
     0,
     [](auto& mb) { return BuildCookieFileLocation(R"(C:\Cookies\)", mb); },
     std::nullopt,
     {}},
    {"cp932: path ends in half a character",
     932,
     [](auto& mb) { return BuildFileLocation("C:\\a\x82", mb); },
     std::nullopt,
     {}},
    {"single-byte: the same path is fine",
     0,
     [](auto& mb) { return BuildFileLocation("C:\\a\x82", mb); },
     "File \"C:\\a\x82\"",
     {{"File", "C:\\a\x82"}}},
};

TEST(LocationBuilder, BuildsAndRefusesTheTable) {
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        const auto mb = MultiByteText::ForCodePage(c.code_page);
        const auto text = c.build(mb);
        EXPECT_EQ(text, c.text);
        if (text) {
            EXPECT_EQ(ParseLocationString(*text, mb, kUnlimitedPairs).pairs, c.pairs);
        }
    }
}

}  // namespace
}  // namespace olvex
