#include "client/protect/background_pass.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace olvex::protect {
namespace {

TEST(BackgroundPassTest, PassesStartTenSecondsApartWithAFullRestAfterALongOne) {
    const struct {
        std::uint32_t elapsed;
        std::uint32_t rest;
    } cases[] = {{0, 10000}, {1, 9999}, {2500, 7500}, {9999, 1}, {10000, 10000}, {60000, 10000}};
    for (const auto& c : cases)
        EXPECT_EQ(RestAfterPass(c.elapsed), c.rest) << c.elapsed;
}

TEST(BackgroundPassTest, ForegroundScanIsLookedForAtMostOnceIn250Ms) {
    // Questions every 10 ms for two seconds from a tick count about to wrap.
    ForegroundCheckThrottle throttle;
    std::vector<std::uint32_t> looks;
    const std::uint32_t start = 0xFFFFFF00u;
    for (std::uint32_t t = 0; t <= 2000; t += 10) {
        if (throttle.ShouldLook(start + t))
            looks.push_back(t);
    }
    const std::vector<std::uint32_t> expected = {0, 260, 520, 780, 1040, 1300, 1560, 1820};
    EXPECT_EQ(looks, expected);
    for (std::size_t i = 1; i < looks.size(); ++i)
        EXPECT_GT(looks[i] - looks[i - 1], kForegroundCheckMs);
}

TEST(BackgroundPassTest, ExterminatorTriesSlowDownAndGiveUpAfterTenMinutes) {
    const struct {
        double seconds;
        std::optional<std::uint32_t> wait;
    } cases[] = {{0, 250},    {60, 250},   {60.5, 500},           {180, 500},
                 {181, 1000}, {600, 1000}, {600.5, std::nullopt}, {3600, std::nullopt}};
    for (const auto& c : cases)
        EXPECT_EQ(ExterminatorRetryWaitMs(c.seconds), c.wait) << c.seconds;
}

struct Appended {
    std::vector<std::string> texts;
    bool succeed = true;
    bool operator()(std::string_view text) {
        texts.emplace_back(text);
        return succeed;
    }
};

TEST(BackgroundPassTest, CleanLogMovesWholeInOneAppendOrStays) {
    const std::string big = [] {
        std::string text;
        for (int i = 0; text.size() < 3 * kCleanLogBlockBytes + 17; ++i)
            text += "3/9/2024,Removed,Pest " + std::to_string(i) + ",C:\\x.exe\r\n";
        return text;
    }();
    const struct {
        const char* what;
        std::string source;
        bool append_works;
        CleanLogMove outcome;
        std::vector<std::string> appended;
    } cases[] = {
        {"empty", "", true, CleanLogMove::kNothing, {}},
        {"one line", "a,b\r\n", true, CleanLogMove::kCopied, {"a,b\r\n"}},
        {"no line end", "a,b", true, CleanLogMove::kCopied, {"a,b\r\n"}},
        {"exactly a block",
         std::string(kCleanLogBlockBytes - 1, 'x') + "\n",
         true,
         CleanLogMove::kCopied,
         {std::string(kCleanLogBlockBytes - 1, 'x') + "\n"}},
        {"several blocks", big, true, CleanLogMove::kCopied, {big}},
        {"append fails", "a,b\r\n", false, CleanLogMove::kAppendFailed, {"a,b\r\n"}},
    };
    for (const auto& c : cases) {
        std::istringstream source(c.source);
        Appended appended{{}, c.append_works};
        EXPECT_EQ(MoveCleanLog(source, std::ref(appended)), c.outcome) << c.what;
        EXPECT_EQ(appended.texts, c.appended) << c.what;
    }
}

}  // namespace
}  // namespace olvex::protect
