#include "client/protect/wakenor_options.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace olvex::protect {
namespace {

struct OptionsCase {
    const char* name;
    std::vector<std::string> parameters;
    WakenorCommandLine expected;
};

TEST(WakenorOptionsTest, FlagsAreKeptLowerCasedAndOthersIgnored) {
    const std::vector<OptionsCase> cases = {
        {"nothing", {}, {}},
        {"log path in capitals", {"/LOGPATH:C:\\Logs\\Here"}, {"c:\\logs\\here", "", false}},
        {"data path with a dash", {"-datpath:D:\\Data"}, {"", "d:\\data", false}},
        {"silent", {"/silent"}, {"", "", true}},
        {"a longer word beginning with silent", {"-SilentX"}, {"", "", true}},
        {"silent cut short is nothing", {"/silen"}, {}},
        {"not flags", {"logpath:c:\\x", "silent", "datpath:"}, {}},
        {"empty path", {"/logpath:"}, {}},
        {"unknown flags", {"/autoupdate", "-x", "/"}, {}},
        {"all three, the last path wins",
         {"/logpath:a", "/datpath:b", "/silent", "/logpath:c"},
         {"c", "b", true}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseWakenorCommandLine(c.parameters), c.expected) << c.name;
    }
}

TEST(WakenorOptionsTest, KeywordsComeFromTheStringTable) {
    WakenorKeywords keywords;
    keywords.silent = "quiet";
    WakenorCommandLine command_line;
    EXPECT_FALSE(ApplyWakenorFlag("silent", keywords, command_line));
    EXPECT_TRUE(ApplyWakenorFlag("QUIETLY", keywords, command_line));
    EXPECT_TRUE(command_line.silent);
}

TEST(WakenorOptionsTest, MainProgramSettingsGiveResearchTruncateAndTheMachineId) {
    struct Case {
        const char* name;
        std::string text;
        ProtectionProgramSettings expected;
    };
    const std::string none;
    const std::vector<Case> cases = {
        {"missing or empty file", "", {0, 0, std::nullopt}},
        {"the main program's file",
         "errorsound=1\r\ndonesound=1\r\nprevresearch=1\r\nguid=0123abcd\r\ntruncate=1\r\n",
         {1, 1, "0123abcd"}},
        {"guid inside a longer key", "machineguid=feed\n", {0, 0, "feed"}},
        {"a blank after = stays, trailing blanks go", "guid= abc  \t\r\n", {0, 0, " abc"}},
        {"blank value: an empty machine id", "guid=\r\n", {0, 0, none}},
        {"a later empty value empties it", "guid=abc\r\nguid=  \r\n", {0, 0, none}},
        {"a later value replaces an empty one", "guid=\r\nguid=abc\r\n", {0, 0, "abc"}},
        {"sound lines are passed over whatever else they name",
         "errorsound_guid=7\r\ndonesound prevresearch=1\r\n",
         {0, 0, std::nullopt}},
        {"numbers as atol reads them", "prevresearch=  12abc\ntruncate=-3\n", {12, -3, std::nullopt}},
        {"not a number is 0", "prevresearch=yes\ntruncate=\n", {0, 0, std::nullopt}},
        {"keys are case-sensitive", "GUID=x\nTruncate=1\n", {0, 0, std::nullopt}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReadProtectionProgramSettings(c.text), c.expected) << c.name;
    }
}

}  // namespace
}  // namespace olvex::protect
