#include "client/common/program_settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace olvex {
namespace {

struct SettingsCase {
    const char* name;
    std::string text;
    ProgramSettings expected;
};

TEST(ProgramSettingsTest, LinesNameTheFirstKeyTheyContain) {
    const std::vector<SettingsCase> cases = {
        {"missing or empty file", "", {}},
        {"the main program's file",
         "errorsound=1\r\ndonesound=0\r\nprevresearch=1\r\nguid=0123abcd\r\ntruncate=1\r\n",
         {1, 0, 1, std::string("0123abcd"), 1}},
        {"guid inside a longer key", "machineguid=feed\n", {{}, {}, {}, std::string("feed"), {}}},
        {"a blank after = stays, trailing blanks go",
         "guid= abc  \t\r\n",
         {{}, {}, {}, std::string(" abc"), {}}},
        {"blank value: an empty machine id", "guid=\r\n", {{}, {}, {}, std::string(), {}}},
        {"no = sets nothing", "guid\r\nprevresearch\r\n", {}},
        {"a sound line is passed over whatever else it names",
         "errorsound_guid=7\r\n",
         {7, {}, {}, {}, {}}},
        {"numbers as atol reads them", "prevresearch=  12abc\ntruncate=-3\n", {{}, {}, 12, {}, -3}},
        {"not a number is 0", "prevresearch=yes\ntruncate=\n", {{}, {}, 0, {}, 0}},
        {"value after the first =", "guid=a=b\n", {{}, {}, {}, std::string("a=b"), {}}},
        {"later lines win", "truncate=1\ntruncate=0\n", {{}, {}, {}, {}, 0}},
        {"huge numbers stay within 32 bits",
         "prevresearch=99999999999\ntruncate=-99999999999\n",
         {{}, {}, 2147483647, {}, -2147483647 - 1}},
        {"keys are case-sensitive", "GUID=x\nTruncate=1\n", {}},
        {"no final line end", "donesound=1", {{}, 1, {}, {}, {}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseProgramSettings(c.text), c.expected) << c.name;
    }
}

}  // namespace
}  // namespace olvex
