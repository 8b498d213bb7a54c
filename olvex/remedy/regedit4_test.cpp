#include "olvex/remedy/regedit4.h"

#include <gtest/gtest.h>

namespace olvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Text(const std::string& s) {
    Bytes b(s.begin(), s.end());
    b.push_back(0);
    return b;
}

TEST(Regedit4, WritesEveryValueTypeSoThatItsBytesComeBack) {
    const RegistryKeyData key{"hkey_current_user\\Software\\X",
                              {
                                  {"", kRegSz, Text("default")},
                                  {"A", kRegSz, Text("c:\\dir \"q\"")},
                                  {"B", kRegDword, {0x1f, 0, 0, 0}},
                                  {"Q", kRegQword, {1, 2, 3, 4, 5, 6, 7, 8}},
                                  {"E", kRegExpandSz, Text("%TEMP%")},
                                  {"M", kRegMultiSz, {'a', 0, 'b', 'c', 0, 0}},
                                  {"Bin", kRegBinary, {0x0a, 0x00}},
                                  {"Empty", kRegBinary, {}},
                                  {"Tab", kRegSz, Text("a\tb")},
                                  {"NoNul", kRegSz, {'x', 'y'}},
                                  {"None", kRegNone, {0xff}},
                                  {"ShortDword", kRegDword, {1, 2}},
                                  {"back\\slash \"name\"", kRegSz, Text("")},
                                  {"@", kRegSz, Text("named @")},
                              }};
    const auto text = WriteRegedit4(std::span(&key, 1));
    ASSERT_TRUE(text);
    EXPECT_EQ(*text,
              "REGEDIT4\r\n"
              "\r\n"
              "[hkey_current_user\\Software\\X]\r\n"
              "\"\"=\"default\"\r\n"
              "\"A\"=\"c:\\\\dir \\\"q\\\"\"\r\n"
              "\"B\"=dword:0000001f\r\n"
              "\"Q\"=hex(b):01,02,03,04,05,06,07,08\r\n"
              "\"E\"=hex(2):25,54,45,4d,50,25,00\r\n"
              "\"M\"=hex(7):61,00,62,63,00,00\r\n"
              "\"Bin\"=hex:0a,00\r\n"
              "\"Empty\"=hex:\r\n"
              "\"Tab\"=hex(1):61,09,62,00\r\n"
              "\"NoNul\"=hex(1):78,79\r\n"
              "\"None\"=hex(0):ff\r\n"
              "\"ShortDword\"=hex(4):01,02\r\n"
              "\"back\\\\slash \\\"name\\\"\"=\"\"\r\n"
              "\"@\"=\"named @\"\r\n");
    const auto parsed = ParseRegedit4(*text);
    ASSERT_TRUE(parsed.ok) << parsed.line << ": " << parsed.error;
    ASSERT_EQ(parsed.keys.size(), 1u);
    EXPECT_EQ(parsed.keys[0], key);
}

TEST(Regedit4, LargeValuesWrapOverContinuationLinesAndComeBackWhole) {
    Bytes big(100000);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<std::uint8_t>(i * 7 + 3);
    std::string long_text(20000, 'x');
    long_text[5] = '\\';
    const std::vector<RegistryKeyData> keys{
        {"HKEY_LOCAL_MACHINE\\Software\\Big",
         {{"blob", kRegBinary, big}, {"t", kRegSz, Text(long_text)}}},
        {"HKEY_LOCAL_MACHINE\\Software\\Big\\Sub", {}},
    };
    const auto text = WriteRegedit4(keys);
    ASSERT_TRUE(text);
    std::size_t longest = 0, start = 0;
    bool in_hex = false;
    for (std::size_t end; (end = text->find("\r\n", start)) != std::string::npos; start = end + 2) {
        const auto line = text->substr(start, end - start);
        if (line.rfind("\"blob\"", 0) == 0 || in_hex) {
            longest = std::max(longest, line.size());
            in_hex = !line.empty() && line.back() == '\\';
        }
    }
    EXPECT_LE(longest, 80u);
    const auto parsed = ParseRegedit4(*text);
    ASSERT_TRUE(parsed.ok) << parsed.line << ": " << parsed.error;
    EXPECT_EQ(parsed.keys, keys);
}

TEST(Regedit4, ReadsTheFormsOtherWritersUse) {
    const std::string text =
        "REGEDIT4\n"
        "; a comment\n"
        "\n"
        "[HKEY_CURRENT_USER\\Software\\Y]\n"
        "@=\"at\"\n"
        "\"d\" = dword:5\n"
        "\"h\"=HEX:a,0,  ff\n"
        "\"c\"=hex(2):41,\\\n"
        "    42,\\\n"
        "\t00\n"
        "\"trail\"=hex:01,\n";
    const auto parsed = ParseRegedit4(text);
    ASSERT_TRUE(parsed.ok) << parsed.line << ": " << parsed.error;
    ASSERT_EQ(parsed.keys.size(), 1u);
    const std::vector<RegistryValue> expected{
        {"", kRegSz, Text("at")},           {"d", kRegDword, {5, 0, 0, 0}},
        {"h", kRegBinary, {0x0a, 0, 0xff}}, {"c", kRegExpandSz, {'A', 'B', 0}},
        {"trail", kRegBinary, {1}},
    };
    EXPECT_EQ(parsed.keys[0].values, expected);
}

TEST(Regedit4, RefusesWhatItCannotReadWithTheLine) {
    const struct {
        const char* text;
        std::size_t line;
    } cases[] = {
        {"", 1},
        {"REGEDIT5\r\n", 1},
        {"REGEDIT4\r\n\"a\"=\"b\"\r\n", 2},              // value before any key
        {"REGEDIT4\r\n[-HKEY_CURRENT_USER\\X]\r\n", 2},  // key deletion
        {"REGEDIT4\r\n[HKEY_CURRENT_USER\\X\r\n", 2},    // no ]
        {"REGEDIT4\r\n[]\r\n", 2},
        {"REGEDIT4\r\n[K\rX]\r\n", 2},                        // a lone carriage return
        {"REGEDIT4\r\n[K]\r\n\"a\"=-\r\n", 3},                // value deletion
        {"REGEDIT4\r\n[K]\r\n\"a\"=\"b\\n\"\r\n", 3},         // unknown escape
        {"REGEDIT4\r\n[K]\r\n\"a\"=\"b\r\n", 3},              // unterminated text
        {"REGEDIT4\r\n[K]\r\n\"a\"=\"b\" x\r\n", 3},          // text after the quote
        {"REGEDIT4\r\n[K]\r\n\"a\"\"b\"\r\n", 3},             // no =
        {"REGEDIT4\r\n[K]\r\n\"a\"=dword:123456789\r\n", 3},  // nine digits
        {"REGEDIT4\r\n[K]\r\n\"a\"=dword:\r\n", 3},
        {"REGEDIT4\r\n[K]\r\n\"a\"=hex:100\r\n", 3},  // three digits
        {"REGEDIT4\r\n[K]\r\n\"a\"=hex:1 2\r\n", 3},  // no comma
        {"REGEDIT4\r\n[K]\r\n\"a\"=hex(zz):1\r\n", 3},
        {"REGEDIT4\r\n[K]\r\n\"a\"=hex(123456789):1\r\n", 3},
        {"REGEDIT4\r\n[K]\r\n\"a\"=hex:01,\\\r\n", 3},  // continued past the end
        {"REGEDIT4\r\n[K]\r\n\"a\"=wide:1\r\n", 3},
        {"REGEDIT4\r\n[K]\r\nplain\r\n", 3},
    };
    for (const auto& c : cases) {
        const auto parsed = ParseRegedit4(c.text);
        EXPECT_FALSE(parsed.ok) << c.text;
        EXPECT_EQ(parsed.line, c.line) << c.text;
        EXPECT_FALSE(parsed.error.empty());
        EXPECT_TRUE(parsed.keys.empty());
    }
    for (const auto& with_nul : {std::string("REGEDIT4\r\n[K]\r\n\"a\"=\"b\0c\"\r\n", 25),
                                 std::string("REGEDIT4\r\n[K\0]\r\n", 16)}) {
        EXPECT_FALSE(ParseRegedit4(with_nul).ok);
    }
}

TEST(Regedit4, WriterRefusesNamesTheFormatCannotHold) {
    Regedit4Writer writer;
    EXPECT_FALSE(writer.AddValue({"a", kRegSz, Text("b")}));  // no key yet
    EXPECT_FALSE(writer.AddKey(""));
    EXPECT_FALSE(writer.AddKey("-HKEY_CURRENT_USER\\X"));
    EXPECT_FALSE(writer.AddKey("HKEY_CURRENT_USER\\X\r\nY"));
    ASSERT_TRUE(writer.AddKey("HKEY_CURRENT_USER\\X"));
    EXPECT_FALSE(writer.AddValue({"line\nbreak", kRegSz, Text("b")}));
    EXPECT_FALSE(writer.AddValue({std::string("n\0ul", 4), kRegSz, Text("b")}));
    EXPECT_EQ(writer.Text(), "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\X]\r\n");
}

}  // namespace
}  // namespace olvex
