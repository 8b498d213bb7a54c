#include "olvex/update/update_control_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "olvex/update/update_text_lines.h"

namespace olvex {
namespace {

struct Entry {
    std::string name;
    int type = 2;
    int version = 1;
    std::string url = "http://127.0.0.1/Downloads/x";
    std::string check = "-12345";
    std::string size = "1000";
    std::string text = "entry";
};

std::string Group(const Entry& e) {
    return e.text + "\r\n" + e.name + "\r\nunused\r\n" + std::to_string(e.type) + "\r\n" +
           std::to_string(e.version) + "\r\n" + e.url + "\r\nunused\r\n" + e.check + "\r\n" +
           e.size + "\r\n";
}

// Nine header lines with the marker on marker_line (1-based), then the groups.
std::string Control(const std::vector<Entry>& entries, int marker_line = 1) {
    std::string text;
    for (int line = 1; line <= 9; ++line)
        text +=
            (line == marker_line ? "QZUPDATE_CONTROL" : "header " + std::to_string(line)) + "\r\n";
    for (const auto& e : entries)
        text += Group(e);
    return text;
}

std::vector<std::string> Names(const ControlFile& file) {
    std::vector<std::string> names;
    for (const auto& entry : file.entries)
        names.push_back(entry.file_name);
    return names;
}

TEST(UpdateTextLines, SplitsLikeTheEngineLineBuffer) {
    using Lines = std::vector<std::string_view>;
    EXPECT_EQ(SplitUpdateTextLines("a\r\n\r\n  b\r\nc"), (Lines{"a", "b"}));
    EXPECT_EQ(SplitUpdateTextLines("a\nb\n"), (Lines{"a", "b"}));
    EXPECT_EQ(SplitUpdateTextLines("a\rb\r"), (Lines{"a", "b"}));
    // A line-feed-only line runs on to the next carriage return.
    EXPECT_EQ(SplitUpdateTextLines("a\nb\r\nc\r\n"), (Lines{"a\nb", "c"}));
    // Lines of blanks do not count; the text ends at a NUL.
    EXPECT_EQ(SplitUpdateTextLines(std::string_view("a\r\n   \r\n\tb \r\nc\0d\r\n", 19)),
              (Lines{"a", "b"}));
    EXPECT_TRUE(SplitUpdateTextLines("").empty());
    EXPECT_TRUE(SplitUpdateTextLines("no line end").empty());
}

TEST(ControlFile, ReadsEntryFieldsByPosition) {
    Entry e{.name = "qzfile.dat",
            .type = 3,
            .version = 120,
            .url = "http://h/qzfile.dat",
            .check = "-1",
            .size = "4096",
            .text = "Definitions"};
    const auto file = ParseControlFile(Control({e}));
    ASSERT_TRUE(file);
    ASSERT_EQ(file.entries.size(), 1u);
    const auto& r = file.entries[0];
    EXPECT_EQ(r.text, "Definitions");
    EXPECT_EQ(r.file_name, "qzfile.dat");
    EXPECT_EQ(r.type, 3);
    EXPECT_EQ(r.version, 120);
    EXPECT_EQ(r.url, "http://h/qzfile.dat");
    EXPECT_EQ(r.check_value, 0xFFFFFFFFu);
    EXPECT_EQ(r.size, 4096u);
    EXPECT_TRUE(r.download_path.empty());
}

TEST(ControlFile, MarkerHeaderAndGroupCounting) {
    const Entry a{.name = "a.dat"}, b{.name = "b.dat"};
    struct Case {
        const char* what;
        std::string text;
        ControlFileError error;
        std::vector<std::string> names;
    } const cases[] = {
        {"marker on line 5, header still lines 1-9",
         Control({a, b}, 5),
         ControlFileError::kNone,
         {"a.dat", "b.dat"}},
        {"marker inside a line",
         [&] {
             auto text = Control({a}, 0);
             return text.replace(text.find("header 3"), 8, "xxQZUPDATE_CONTROLxx");
         }(),
         ControlFileError::kNone,
         {"a.dat"}},
        {"no marker", Control({a}, 0), ControlFileError::kNoMarker, {}},
        {"marker only after a NUL",
         Control({a}, 0) + std::string(1, '\0') + "QZUPDATE_CONTROL",
         ControlFileError::kNoMarker,
         {}},
        {"header only", Control({}), ControlFileError::kNone, {}},
        {"fewer than nine lines", "QZUPDATE_CONTROL\r\nx\r\n", ControlFileError::kNone, {}},
        {"9 header lines and 20 more: two entries, 2 lines ignored",
         Control({a, b}) + "stray 1\r\nstray 2\r\n",
         ControlFileError::kNone,
         {"a.dat", "b.dat"}},
        {"blank lines between entries do not count",
         Control({}) + "\r\n\r\n" + Group(a) + "\r\n  \r\n\t\r\n" + Group(b) + "\r\n",
         ControlFileError::kNone,
         {"a.dat", "b.dat"}},
        {"line feeds only",
         "QZUPDATE_CONTROL\n1\n2\n3\n4\n5\n6\n7\n8\nt\na.dat\nu\n2\n1\nurl\nu\n0\n5\n",
         ControlFileError::kNone,
         {"a.dat"}},
        {"last line without its line end is not read",
         Control({a, b}).substr(0, Control({a, b}).size() - 2),
         ControlFileError::kNone,
         {"a.dat"}},
    };
    for (const auto& c : cases) {
        const auto file = ParseControlFile(c.text);
        EXPECT_EQ(file.error, c.error) << c.what;
        EXPECT_EQ(Names(file), c.names) << c.what;
    }
}

TEST(ControlFile, EachEntryStandsOnItsOwn) {
    Entry first{.name = "first.dat", .url = "http://h/first"};
    Entry overlong{.name = "second.dat", .url = "http://h/" + std::string(4991, 'u')};
    Entry third{.name = "third.dat", .url = "http://h/third"};
    ASSERT_EQ(overlong.url.size(), 5000u);
    const auto file = ParseControlFile(Control({first, overlong, third}));
    ASSERT_TRUE(file);
    // The entry with the 5000-character URL is rejected, never given the URL
    // of the entry before it.
    EXPECT_EQ(Names(file), (std::vector<std::string>{"first.dat", "third.dat"}));
    EXPECT_EQ(file.entries[1].url, "http://h/third");
    ASSERT_EQ(file.rejected.size(), 1u);
    EXPECT_EQ(file.rejected[0].group, 1u);
    EXPECT_EQ(file.rejected[0].problem, ControlEntryProblem::kUrlTooLong);
    EXPECT_EQ(file.rejected[0].file_name, "second.dat");

    // A URL of exactly 4095 characters is still one; a tab in it is not text.
    Entry longest{.name = "l.dat", .url = std::string(4095, 'u')};
    Entry tabbed{.name = "t.dat", .url = "http://h/a\tb"};
    const auto limits = ParseControlFile(Control({longest, tabbed}));
    EXPECT_EQ(Names(limits), (std::vector<std::string>{"l.dat"}));
    ASSERT_EQ(limits.rejected.size(), 1u);
    EXPECT_EQ(limits.rejected[0].problem, ControlEntryProblem::kUrlNotText);

    // An overlong group-line-1 text is dropped, the entry kept.
    Entry wordy{.name = "w.dat", .text = std::string(256, 't')};
    const auto texts = ParseControlFile(Control({wordy, first}));
    ASSERT_EQ(texts.entries.size(), 2u);
    EXPECT_EQ(texts.entries[0].text, "");
    EXPECT_EQ(texts.entries[1].text, "entry");
}

TEST(ControlFile, NamesThatAreNotPlainFileNamesRejectTheirEntry) {
    const std::string bad_names[] = {"..\\x",   "a/b",  "C:x",         "\\\\server\\x",      "CON",
                                     "nul.txt", "LPT1", "qzfile.dat.", std::string(256, 'n')};
    for (const auto& bad : bad_names) {
        const auto file =
            ParseControlFile(Control({{.name = "ok1.dat"}, {.name = bad}, {.name = "ok2.dat"}}));
        ASSERT_TRUE(file) << bad;
        EXPECT_EQ(Names(file), (std::vector<std::string>{"ok1.dat", "ok2.dat"})) << bad;
        ASSERT_EQ(file.rejected.size(), 1u) << bad;
        EXPECT_EQ(file.rejected[0].problem, ControlEntryProblem::kUnsafeFileName) << bad;
        EXPECT_EQ(file.rejected[0].group, 1u) << bad;
    }
    // A name with trailing blanks is trimmed as a line, so it is a plain name.
    const auto trimmed = ParseControlFile(Control({{.name = "qzloc.dat   "}}));
    EXPECT_EQ(Names(trimmed), (std::vector<std::string>{"qzloc.dat"}));
}

TEST(ControlFile, NumbersAreReadLikeAtoiAndSaturate) {
    struct Case {
        std::string type, version, check, size;
        std::int32_t want_type, want_version;
        std::uint32_t want_check, want_size;
    } const cases[] = {
        {"2", "7", "0", "0", 2, 7, 0, 0},
        {"6 (engine)", "12abc", "-559038737", "100 bytes", 6, 12, 0xDEADBEEFu, 100},
        {"x", "-3", "3735928559", "-5", 0, -3, 0xDEADBEEFu, 0},
        {"99999999999", "-99999999999", "99999999999", "99999999999", 2147483647, -2147483647 - 1,
         0xFFFFFFFFu, 0xFFFFFFFFu},
    };
    for (const auto& c : cases) {
        std::string text = Control({});
        text += "t\r\nn.dat\r\nu\r\n" + c.type + "\r\n" + c.version + "\r\nurl\r\nu\r\n" + c.check +
                "\r\n" + c.size + "\r\n";
        const auto file = ParseControlFile(text);
        ASSERT_EQ(file.entries.size(), 1u) << c.type;
        const auto& r = file.entries[0];
        EXPECT_EQ(r.type, c.want_type) << c.type;
        EXPECT_EQ(r.version, c.want_version) << c.version;
        EXPECT_EQ(r.check_value, c.want_check) << c.check;
        EXPECT_EQ(r.size, c.want_size) << c.size;
    }
}

TEST(ControlFile, OversizedFileIsRejectedBeforeParsing) {
    std::string text = Control({{.name = "a.dat"}});
    text.resize(kMaxControlFileBytes, ' ');
    EXPECT_EQ(ParseControlFile(text).entries.size(), 1u);
    text.push_back(' ');
    const auto file = ParseControlFile(text);
    EXPECT_EQ(file.error, ControlFileError::kTooLarge);
    EXPECT_TRUE(file.entries.empty());
}

TEST(ControlFile, CheckValueIsTheMaskedCrc32) {
    const std::string check = "123456789";
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(check.data()), check.size());
    EXPECT_EQ(UpdateCheckValue(bytes), 0xCBF43926u ^ 0x5A3C9E61u);
    // As the control file writes it: signed decimal.
    const auto value = static_cast<std::int32_t>(UpdateCheckValue(bytes));
    Entry e{.name = "c.dat", .check = std::to_string(value)};
    EXPECT_EQ(ParseControlFile(Control({e})).entries.at(0).check_value, UpdateCheckValue(bytes));
}

}  // namespace
}  // namespace olvex
