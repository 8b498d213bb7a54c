#include "olvex/core/line_buffer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace olvex {
namespace {

using ::testing::ElementsAreArray;

std::vector<std::string> AllLines(TCharBufferManagement& buffer) {
    std::vector<std::string> lines;
    for (auto line = buffer.GetFirstLine(); line; line = buffer.GetNextLine()) {
        lines.push_back(*line);
    }
    return lines;
}

struct SplitCase {
    const char* what;
    std::string text;
    std::vector<std::string> lines;
};

TEST(LineBuffer, SplitsLikeTheControlFileReader) {
    const std::vector<SplitCase> cases = {
        {"blank lines skipped, unterminated last line dropped", "a\r\n\r\n  b\r\nc", {"a", "b"}},
        {"line feeds only", "a\nb\n", {"a", "b"}},
        {"carriage returns only", "a\rb\r", {"a", "b"}},
        {"leading tabs and blanks trimmed, inner blanks kept", "\t x y \t\r\n", {"x y"}},
        {"tabs after a line end are passed over", "a\r\n\t\tb\r\n", {"a", "b"}},
        // A line of blanks only is not passed over (only tabs, CR and LF are):
        // it comes back empty, and position-based readers count it.
        {"line of blanks", "a\r\n   \r\nb\r\n", {"a", "", "b"}},
        {"leading line end gives one empty line", "\r\na\r\n", {"", "a"}},
        // Mixed line ends: a line-feed-only line runs on to the next CR.
        {"mixed line ends", "a\nb\r\nc\n", {"a\nb", "c"}},
        {"no line end at all", "abc", {}},
        {"empty text", "", {}},
        {"only line ends", "\r\n\r\n", {""}},
        {"text ends at its first NUL", std::string("a\r\nb\0c\r\n", 8), {"a"}},
        {"other white space trimmed", "\v a \f\r\n", {"a"}},
    };
    for (const auto& c : cases) {
        TCharBufferManagement buffer;
        buffer.SetText(c.text);
        EXPECT_THAT(AllLines(buffer), ElementsAreArray(c.lines)) << c.what;
    }
}

TEST(LineBuffer, FirstLineRewindsAndSetTextReplaces) {
    TCharBufferManagement buffer;
    EXPECT_FALSE(buffer.GetNextLine());
    EXPECT_FALSE(buffer.GetFirstLine());

    buffer.SetText("one\r\ntwo\r\n");
    EXPECT_EQ(buffer.GetNextLine(), "one");
    EXPECT_EQ(buffer.GetNextLine(), "two");
    EXPECT_FALSE(buffer.GetNextLine());
    EXPECT_FALSE(buffer.GetNextLine());
    EXPECT_EQ(buffer.GetFirstLine(), "one");

    // A new text starts at its beginning, whatever was read before.
    buffer.SetText("three\n");
    EXPECT_EQ(buffer.GetNextLine(), "three");
    buffer.SetText("");
    EXPECT_FALSE(buffer.GetFirstLine());
}

TEST(LineBuffer, KeepsItsOwnCopy) {
    TCharBufferManagement buffer;
    {
        std::string text = "kept\r\n";
        buffer.SetText(text);
        text.assign(text.size(), 'x');
    }
    EXPECT_EQ(buffer.GetFirstLine(), "kept");
}

}  // namespace
}  // namespace olvex
