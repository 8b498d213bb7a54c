// The main program's portable rules: colours and grouping from their texts,
// folders, the machine id, message sounds and texts, and the retry rule.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "client/main/app_paths.h"
#include "client/main/detected_pest.h"
#include "client/main/machine_id.h"
#include "client/main/message_rules.h"
#include "client/main/start_up_rules.h"
#include "client/main/text_values.h"

namespace olvex {
namespace {

constexpr std::uint32_t Rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return r | (g << 8) | (b << 16);
}

TEST(MainRulesTest, ColoursFromTheirTexts) {
    struct Case {
        const char* text;
        std::uint32_t expected;
    };
    const std::vector<Case> cases = {
        {"255,255,255", Rgb(255, 255, 255)},
        {"51,102,153", Rgb(51, 102, 153)},
        {"192,192,192", Rgb(192, 192, 192)},
        {" 1, 2 ,3", Rgb(1, 2, 3)},
        // Missing parts are 0, never read past the text.
        {"", Rgb(0, 0, 0)},
        {"200", Rgb(200, 0, 0)},
        {"200,100", Rgb(200, 100, 0)},
        {"10,,30", Rgb(10, 0, 30)},
        // Each part to 8 bits: red cannot spill into green.
        {"256,0,0", Rgb(0, 0, 0)},
        {"511,258,-1", Rgb(255, 2, 255)},
        {"red,green,blue", Rgb(0, 0, 0)},
        {"1,2,3,4", Rgb(1, 2, 3)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ColorFromText(c.text), c.expected) << c.text;
}

TEST(MainRulesTest, GroupingFromTheLocaleText) {
    struct Case {
        const char* text;
        unsigned expected;
    };
    const std::vector<Case> cases = {
        {"3;0", 3},
        {"3;2;0", 32},
        {"3", 30},
        {"3;2", 320},
        {"0", 0},
        {"", 0},
        {"3;", 0},
        {";0", 0},
        {"33", 0},
        {"x", 0},
        {"0;0", 0},
        {"1;1;1;1;1;1;1;1;1;0", 111111111},
        {"1;1;1;1;1;1;1;1;0", 11111111},
        {"1;1;1;1;1;1;1;1", 111111110},
        {"1;1;1;1;1;1;1;1;1", 0},
        {"1;1;1;1;1;1;1;1;1;1;0", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GroupingFromLocaleText(c.text), c.expected) << c.text;
}

TEST(MainRulesTest, SuiteFolderIsTheInstallFoldersParent) {
    struct Case {
        const char* install;
        const char* suite;
    };
    const std::vector<Case> cases = {
        {"C:\\Program Files\\Suite\\Gorsewatch\\", "C:\\Program Files\\Suite\\"},
        {"C:\\Program Files\\Suite\\Gorsewatch", "C:\\Program Files\\Suite\\"},
        {"C:\\Gorsewatch\\", "C:\\"},
        {"C:\\", "C:\\"},
        {"C:", "C:\\"},
        {"\\Gorsewatch\\", "\\Gorsewatch\\"},
        {".\\", ".\\"},
        {"", "\\"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SuiteFolderFromInstallFolder(c.install), c.suite) << c.install;
    EXPECT_EQ(WithTrailingBackslash("C:\\A"), "C:\\A\\");
    EXPECT_EQ(WithTrailingBackslash("C:\\A\\"), "C:\\A\\");
    EXPECT_EQ(WithTrailingBackslash(""), "");
}

TEST(MainRulesTest, MachineIdIsThirtyTwoUpperCaseDigits) {
    EXPECT_EQ(FormatMachineId(0x0123ABCD, 0x00EF, 0xA0B1, {0, 1, 0x2C, 0xD3, 0xFF, 0x10, 9, 0xAB}),
              "0123ABCD00EFA0B100012CD3FF1009AB");
    EXPECT_EQ(FormatMachineId(0, 0, 0, {}), std::string(32, '0'));
}

TEST(MainRulesTest, MessageSoundsFollowTheirSettings) {
    struct Case {
        int kind;
        int errorsound;
        int donesound;
        const wchar_t* expected;
    };
    const std::vector<Case> cases = {
        {0, 1, 1, nullptr}, {1, 0, 0, nullptr},     {1, 1, 0, L"ALARM.WAV"},
        {1, 0, 1, nullptr}, {2, 0, 1, L"DONE.WAV"}, {2, 1, 0, nullptr},
        {3, 1, 1, nullptr}, {-1, 1, 1, nullptr},    {1, 7, 0, L"ALARM.WAV"},
    };
    for (const Case& c : cases) {
        const wchar_t* file = MessageSoundFile(c.kind, c.errorsound, c.donesound);
        EXPECT_EQ(file == nullptr ? std::wstring(L"none") : std::wstring(file),
                  c.expected == nullptr ? std::wstring(L"none") : std::wstring(c.expected))
            << c.kind << " " << c.errorsound << " " << c.donesound;
    }
}

TEST(MainRulesTest, EngineDetailsAreFilledInOnce) {
    EXPECT_EQ(FillInMessage(L"Error! Database init failed (Error %ld: %s)!", 12, L"Bad block."),
              L"Error! Database init failed (Error 12: Bad block.)!");
    EXPECT_EQ(FillInMessage(L"Error! Excluder init failed (Error %s)!", std::nullopt, L"x"),
              L"Error! Excluder init failed (Error x)!");
    // A text holding format characters stays as it is.
    EXPECT_EQ(FillInMessage(L"(%ld: %s)", -5, L"%s %ld %n"), L"(-5: %s %ld %n)");
    EXPECT_EQ(FillInMessage(L"no places", 3, L"x"), L"no places");
}

TEST(MainRulesTest, RetriesClearTheFlagAndSleepAfterEveryFailure) {
    std::vector<unsigned> sleeps;
    int calls = 0;
    const auto sleep = [&](unsigned ms) { sleeps.push_back(ms); };
    // Every try fails, one of them while leaving the flag alone: it was
    // cleared before the call, so it still fails.
    EXPECT_FALSE(TryRepeatedly<short>(
        3, kEngineRetrySleepMs,
        [&](short& flag) {
            EXPECT_EQ(flag, 0);
            ++calls;
        },
        sleep));
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(sleeps, (std::vector<unsigned>{200, 200, 200}));

    sleeps.clear();
    calls = 0;
    EXPECT_TRUE(TryRepeatedly<short>(
        5, kEngineRetrySleepMs,
        [&](short& flag) {
            if (++calls == 2)
                flag = -1;
        },
        sleep));
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(sleeps, (std::vector<unsigned>{200}));
}

TEST(MainRulesTest, PagesAndDetectedPests) {
    EXPECT_FALSE(IsPageNumber(0));
    EXPECT_TRUE(IsPageNumber(1));
    EXPECT_TRUE(IsPageNumber(3));
    EXPECT_FALSE(IsPageNumber(4));
    EXPECT_FALSE(IsPageNumber(-1));

    std::vector<DetectedPest> pests;
    EXPECT_EQ(FindDetectedPest(pests, 5), -1);
    pests.push_back({5, "A", "Adware", {"File x"}});
    pests.push_back({9, "B", "Spyware", {}});
    pests.push_back({5, "A again", "Adware", {}});
    EXPECT_EQ(FindDetectedPest(pests, 5), 0);
    EXPECT_EQ(FindDetectedPest(pests, 9), 1);
    EXPECT_EQ(FindDetectedPest(pests, -1), -1);
}

}  // namespace
}  // namespace olvex
