#include "client/common/program_settings.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>
#include <vector>

namespace olvex {
namespace {

// Read onto settings that are all set, so that what a text leaves alone shows.
ProgramSettings Start() {
    ProgramSettings settings;
    settings.errorsound = 1;
    settings.donesound = 1;
    settings.prevresearch = 1;
    settings.guid = "START";
    settings.truncate = 1;
    return settings;
}

ProgramSettings With(int errorsound, int donesound, int prevresearch,
                     std::optional<std::string> guid, int truncate) {
    ProgramSettings settings;
    settings.errorsound = errorsound;
    settings.donesound = donesound;
    settings.prevresearch = prevresearch;
    settings.guid = std::move(guid);
    settings.truncate = truncate;
    return settings;
}

TEST(ProgramSettingsTest, ReadsEachLineForTheFirstKeyItNames) {
    struct Case {
        const char* name;
        std::string text;
        ProgramSettings expected;
    };
    const std::vector<Case> cases = {
        // A new or empty file: the two sounds off, the rest as it was.
        {"empty", "", With(0, 0, 1, "START", 1)},
        {"all five", "errorsound=0\r\ndonesound=0\r\nprevresearch=0\r\nguid=ABC\r\ntruncate=0\r\n",
         With(0, 0, 0, "ABC", 0)},
        {"blanks around a value", "donesound= 1   \r\n", With(1, 1, 1, "START", 1)},
        {"blanks around zero", "donesound =  0 \r\n", With(1, 0, 1, "START", 1)},
        {"two guid lines: the later wins", "guid=FIRST\r\nguid=SECOND\r\n",
         With(1, 1, 1, "SECOND", 1)},
        {"errorsound and truncate on one line count for errorsound", "errorsound truncate=0\r\n",
         With(0, 1, 1, "START", 1)},
        {"truncate before errorsound on the line still errorsound", "truncate errorsound=0\r\n",
         With(0, 1, 1, "START", 1)},
        {"no = takes the whole line", "truncate\r\n", With(1, 1, 1, "START", 0)},
        {"a line without a key is passed over", "volume=0\r\n", With(1, 1, 1, "START", 1)},
        {"an empty line alone is a line", "\r\n", With(1, 1, 1, "START", 1)},
        {"value after the first =", "prevresearch==0\r\n", With(1, 1, 0, "START", 1)},
        {"LF line ends", "errorsound=0\ndonesound=0\n", With(0, 0, 1, "START", 1)},
        {"no final line end", "guid=LAST", With(1, 1, 1, "LAST", 1)},
        {"a number is read like atol", "truncate=7 apples\r\n", With(1, 1, 1, "START", 7)},
        {"no number is 0", "errorsound=yes\r\n", With(0, 1, 1, "START", 1)},
        {"an empty guid is no guid", "guid=\r\n", With(1, 1, 1, std::nullopt, 1)},
        {"a guid keeps its leading blanks", "guid= AB\r\n", With(1, 1, 1, " AB", 1)},
        {"huge numbers stay in range", "errorsound=99999999999999999999\r\n",
         With(INT_MAX, 1, 1, "START", 1)},
    };
    for (const Case& c : cases) {
        ProgramSettings settings = Start();
        ApplyProgramSettingsText(c.text, settings);
        EXPECT_EQ(settings, c.expected) << c.name;
    }
}

// A file too large to read whole, read piece by piece: the same settings as
// the whole text gives, whatever the pieces; a line longer than any setting
// (a run of junk without line ends) counts for nothing, even with a key in it.
TEST(ProgramSettingsTest, AnOversizedFileReadInPiecesKeepsItsIdAndSettings) {
    const std::string junk(200000, 'j');
    const std::string line_of_junk = "guid=" + junk + "\r\n";
    struct Case {
        const char* name;
        std::string text;
        ProgramSettings expected;
    };
    const Case cases[] = {
        {"settings among junk lines",
         "errorsound=1\r\n" + junk + "\r\nguid=0123456789ABCDEF0123456789ABCDEF\r\n" + junk +
             "\r\ntruncate=1",
         With(1, 1, 1, "0123456789ABCDEF0123456789ABCDEF", 1)},
        {"a key inside an overlong line", "guid=KEPT\n" + line_of_junk + junk,
         With(1, 1, 1, "KEPT", 1)},
        {"lines without CR", "donesound=0\nprevresearch=0\n", With(1, 0, 0, "START", 1)},
    };
    for (const Case& c : cases) {
        for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{65536}}) {
            SCOPED_TRACE(testing::Message() << c.name << ", pieces of " << piece);
            ProgramSettings settings = Start();
            OversizedProgramSettingsReader reader(settings);
            for (std::size_t at = 0; at < c.text.size(); at += piece)
                reader.Feed(std::string_view(c.text).substr(at, piece));
            reader.Finish();
            EXPECT_EQ(settings, c.expected);
        }
    }
}

TEST(ProgramSettingsTest, WritesFiveLinesThatReadBackTheSame) {
    ProgramSettings settings = With(5, 0, 1, "0123456789ABCDEF0123456789ABCDEF", 0);
    const std::string text = FormatProgramSettings(settings);
    EXPECT_EQ(text,
              "errorsound=1\r\ndonesound=0\r\nprevresearch=1\r\n"
              "guid=0123456789ABCDEF0123456789ABCDEF\r\ntruncate=0\r\n");
    ProgramSettings read;
    ApplyProgramSettingsText(text, read);
    settings.errorsound = 1;
    EXPECT_EQ(read, settings);
}

TEST(ProgramSettingsTest, LeadingLongReadsLikeAtol) {
    EXPECT_EQ(ParseLeadingLong(""), 0);
    EXPECT_EQ(ParseLeadingLong("  42x"), 42);
    EXPECT_EQ(ParseLeadingLong("-3"), -3);
    EXPECT_EQ(ParseLeadingLong("+8"), 8);
    EXPECT_EQ(ParseLeadingLong("- 8"), 0);
    EXPECT_EQ(ParseLeadingLong("x1"), 0);
    EXPECT_EQ(ParseLeadingLong("999999999999999999999999"), LONG_MAX);
    EXPECT_EQ(ParseLeadingLong("-999999999999999999999999"), LONG_MIN);
}

TEST(ProgramSettingsTest, MachineIdFileTakesTheFirstLineWithoutItsQuotes) {
    struct Case {
        const char* name;
        std::string text;
        std::optional<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"empty file", "", std::nullopt},
        {"plain", "0123ABCD", "0123ABCD"},
        {"first line only", "0123ABCD\r\nother\r\n", "0123ABCD"},
        {"quoted", "\"0123ABCD\"", "0123ABCD"},
        {"a lone quote is no id", "\"", std::nullopt},
        {"two quotes are no id", "\"\"", std::nullopt},
        {"an empty line is no id", "\r\n", std::nullopt},
        // The last and the first character go, whatever they are.
        {"a quote inside", "AB\"CD", "B\"C"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseMachineIdText(c.text), c.expected) << c.name;
}

}  // namespace
}  // namespace olvex
