#include "client/main/command_line.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace olvex {
namespace {

TEST(CommandLineTest, SwitchesSetTheirRequests) {
    struct Case {
        std::vector<std::string> parameters;
        CommandLineRequests expected;
        std::optional<std::string> file_name;
    };
    const std::vector<Case> cases = {
        {{}, {0, 0, 0}, std::nullopt},
        {{"/scan"}, {1, 0, 0}, std::nullopt},
        {{"-SCAN"}, {1, 0, 0}, std::nullopt},
        {{"/scannow"}, {1, 0, 0}, std::nullopt},
        {{"/ScAn-please"}, {1, 0, 0}, std::nullopt},
        // Too short for "scan": the shell's, which ignores a switch.
        {{"/sca"}, {0, 0, 0}, std::nullopt},
        {{"/s"}, {0, 0, 0}, std::nullopt},
        {{"/"}, {0, 0, 0}, std::nullopt},
        {{"/ShowQuarantine"}, {0, 1, 0}, std::nullopt},
        {{"/showquarantineplease"}, {0, 1, 0}, std::nullopt},
        {{"/showquarantin"}, {0, 0, 0}, std::nullopt},
        {{"-SHOWEXCLUSIONS"}, {0, 0, 1}, std::nullopt},
        {{"/showexclusionsnow"}, {0, 0, 1}, std::nullopt},
        {{"/showquarantine", "/showexclusions"}, {0, 1, 1}, std::nullopt},
        {{"/showexclusions", "/scan", "/showquarantine"}, {1, 1, 1}, std::nullopt},
        // A plain word is a document, never a request.
        {{"scan"}, {0, 0, 0}, "scan"},
        {{"showquarantine"}, {0, 0, 0}, "showquarantine"},
        {{"first.txt", "/scan", "second.txt"}, {1, 0, 0}, "first.txt"},
        // Other switches are the shell's and change nothing.
        {{"/p", "/dde", "/Automation"}, {0, 0, 0}, std::nullopt},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const auto& parameter : c.parameters)
            shown += parameter + " ";
        const auto info = ParseGorsewatch5CommandLine(c.parameters);
        EXPECT_EQ(info.requests(), c.expected) << shown;
        EXPECT_EQ(info.file_name(), c.file_name) << shown;
    }
}

TEST(CommandLineTest, TheFirstMatchingSwitchWinsWithinOneParameter) {
    // "scan" is tested first: a switch that begins with it is a scan even
    // when it also names something else.
    CGorsewatch5CommandLineInfo info;
    info.ParseParam("scanshowquarantine", true, true);
    EXPECT_EQ(info.requests(), (CommandLineRequests{1, 0, 0}));
}

}  // namespace
}  // namespace olvex
