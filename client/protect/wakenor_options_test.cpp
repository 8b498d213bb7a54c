#include "client/protect/wakenor_options.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace olvex::protect
