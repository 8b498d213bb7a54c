#include "setup/core/setup_logger.h"

#include <gtest/gtest.h>

#include "setup/core/setup_test_support.h"

namespace olvex::setup {
namespace {

using testing::RecordingHost;
using testing::Utf8;

constexpr char kTime[] = "Monday, 1 January 2024, 10:00:00";

std::string Line(const char* id, const std::string& text) {
    return std::string(kTime) + " (" + id + ") " + text;
}

struct Fixture {
    RecordingHost host;
    SetupLogger logger{host};
    std::vector<std::string> lines() const { return host.Lines(logger.path()); }
    std::vector<std::string> boxes() const {
        std::vector<std::string> texts;
        for (const auto& box : host.boxes) {
            texts.push_back(Utf8(box));
        }
        return texts;
    }
};

TEST(SetupLoggerTest, LevelMatrixWithExactTexts) {
    enum class Call { kError, kErrorNoCode, kWarning, kInfo, kInfoInt, kInfoValue, kInfoText };
    const auto invoke = [](SetupLogger& logger, Call call) {
        switch (call) {
            case Call::kError:
                logger.Error(25005, 9005);
                break;
            case Call::kErrorNoCode:
                logger.Error(25005, 0);
                break;
            case Call::kWarning:
                logger.Warning(0, 9019, std::u16string_view(u"C:\\Suite"));
                break;
            case Call::kInfo:
                logger.Info(25546);
                break;
            case Call::kInfoInt:
                logger.InfoInt(25546, -5);
                break;
            case Call::kInfoValue:
                logger.InfoValue(25003, 0x80004005u);
                break;
            case Call::kInfoText:
                logger.InfoText(25546, u"abc", std::u16string_view(u"Own text"));
                break;
        }
    };
    const std::string error =
        "Error E9005: This setup package holds no program that can be installed.";
    struct Case {
        Call call;
        int32_t log_level;
        int32_t display_level;
        std::vector<std::string> lines;
        std::vector<std::string> boxes;
    };
    const Case cases[] = {
        {Call::kError, 1, 1, {Line("25005", error)}, {error}},
        {Call::kError, 0, 1, {}, {error}},
        {Call::kError, 1, 0, {Line("25005", error)}, {}},
        {Call::kErrorNoCode,
         3,
         0,
         {Line("25005", "This setup package holds no program that can be installed.")},
         {}},
        {Call::kWarning, 1, 1, {}, {}},
        {Call::kWarning,
         2,
         2,
         {Line("00000", "Warning W9019: C:\\Suite")},
         {"Warning W9019: C:\\Suite"}},
        {Call::kInfo, 2, 2, {}, {}},
        {Call::kInfo, 3, 2, {Line("25546", "Install")}, {}},
        {Call::kInfo, 0, 3, {}, {"Install"}},
        {Call::kInfoInt, 3, 0, {Line("25546", "Install - Value = -5")}, {}},
        {Call::kInfoValue,
         4,
         4,
         {Line("25003", "Setup could not start the COM library. - Value = 2147500037")},
         {"Setup could not start the COM library. - Value = 2147500037"}},
        {Call::kInfoText,
         3,
         3,
         {Line("25546", "Own text - Value = abc")},
         {"Own text - Value = abc"}},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.logger.SetLogLevel(c.log_level);
        f.logger.SetDisplayLevel(c.display_level);
        invoke(f.logger, c.call);
        const std::string label = "call " + std::to_string(static_cast<int>(c.call)) + " log " +
                                  std::to_string(c.log_level) + " display " +
                                  std::to_string(c.display_level);
        EXPECT_EQ(f.lines(), c.lines) << label;
        EXPECT_EQ(f.boxes(), c.boxes) << label;
    }
}

TEST(SetupLoggerTest, OpenAndCloseWriteTheLogsFrame) {
    Fixture f;
    f.host.files[u"C:\\trombolog.txt"] = "old run\r\n";
    f.logger.Open(u"C:\\trombolog.txt", true);
    f.logger.Close(9044);
    EXPECT_EQ(f.logger.path(), u"C:\\trombolog.txt");
    EXPECT_EQ(f.host.files[u"C:\\trombolog.txt"],
              Line("25501", "Setup started") + "\r\n" + Line("00000", "Tramlet.exe /x") + "\r\n" +
                  Line("25502", "Setup finished - Value = 9044") + "\r\n" +
                  "\r\n+++ --- +++ --- +++\r\n\r\n");
    // The opening and closing lines never reach a box, even at level 4.
    EXPECT_TRUE(f.host.boxes.empty());

    Fixture shown;
    shown.logger.SetDisplayLevel(4);
    shown.logger.Open(u"", false);
    shown.logger.Close(0);
    EXPECT_EQ(shown.logger.path(), u"C:\\xjlog.txt");
    // Three lines, then the separator between blank lines.
    EXPECT_EQ(shown.lines().size(), 6u);
    EXPECT_TRUE(shown.host.boxes.empty());

    // A second Open without a path keeps the file and, unasked, its lines.
    shown.logger.Open(u"", false);
    EXPECT_EQ(shown.lines().size(), 8u);
}

TEST(SetupLoggerTest, BelowLogLevelThreeOpenAndCloseWriteNothing) {
    Fixture f;
    f.logger.SetLogLevel(2);
    f.host.files[u"C:\\trombolog.txt"] = "kept\r\n";
    f.logger.Open(u"C:\\trombolog.txt", true);
    f.logger.Info(25546);
    f.logger.Warning(25546, 9019);
    f.logger.Close(5);
    EXPECT_EQ(f.logger.path(), u"C:\\trombolog.txt");
    EXPECT_EQ(f.host.files[u"C:\\trombolog.txt"],
              "kept\r\n" + Line("25546", "Warning W9019: Install") + "\r\n");

    // Forced, they write what their own levels allow: the command line and
    // the separator, not the information lines.
    f.logger.Open(u"", false, true);
    f.logger.Close(5, true);
    EXPECT_EQ(f.lines(), (std::vector<std::string>{"kept", Line("25546", "Warning W9019: Install"),
                                                   Line("00000", "Tramlet.exe /x"), "",
                                                   "+++ --- +++ --- +++", ""}));
}

TEST(SetupLoggerTest, DirectWritesTakeEffectAtLevelFourOrForced) {
    Fixture f;
    f.logger.WriteLine(u"line", 7);
    f.logger.WriteWide(u"wide");
    f.logger.WriteRaw("raw");
    f.logger.ShowBox(u"box");
    EXPECT_TRUE(f.host.files.empty());
    EXPECT_TRUE(f.host.boxes.empty());

    f.logger.SetLogLevel(0);
    f.logger.SetDisplayLevel(0);
    f.logger.WriteLine(u"line", 7, true);
    f.logger.WriteWide(u"w\u00e9de", true);
    f.logger.WriteRaw("raw\r\n", true);
    f.logger.ShowBox(u"box", true);
    EXPECT_EQ(f.host.files[f.logger.path()], Line("00007", "line") + "\r\nw?deraw\r\n");
    EXPECT_EQ(f.boxes(), std::vector<std::string>{"box"});

    Fixture four;
    four.logger.SetLogLevel(4);
    four.logger.SetDisplayLevel(4);
    four.logger.WriteLine(u"line", 123456);
    four.logger.ShowBox(u"box");
    EXPECT_EQ(four.lines(), std::vector<std::string>{Line("123456", "line")});
    EXPECT_EQ(four.boxes(), std::vector<std::string>{"box"});
}

TEST(SetupLoggerTest, MissingStringsAndOverLongClockTexts) {
    Fixture f;
    f.logger.SetDisplayLevel(4);
    f.logger.Error(31999, 9002);
    f.logger.Info(31999);
    EXPECT_TRUE(f.host.files.empty());
    EXPECT_TRUE(f.host.boxes.empty());

    f.host.time_text = std::u16string(300, u't');
    f.logger.Info(25546);
    const auto lines = f.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], std::string(255, 't') + "Install");
}

TEST(SetupLoggerTest, LevelsOutsideZeroToFourAreIgnored) {
    Fixture f;
    EXPECT_EQ(f.logger.SetLogLevel(4), 3);
    EXPECT_EQ(f.logger.SetLogLevel(5), 4);
    EXPECT_EQ(f.logger.SetLogLevel(-1), 4);
    EXPECT_EQ(f.logger.log_level(), 4);
    EXPECT_EQ(f.logger.SetDisplayLevel(0), 2);
    EXPECT_EQ(f.logger.SetDisplayLevel(-7), 0);
    EXPECT_EQ(f.logger.display_level(), 0);
}

TEST(SetupLoggerTest, AMessageWrittenWhileABoxIsShownIsDropped) {
    Fixture f;
    f.logger.SetDisplayLevel(1);
    int nested = 0;
    f.host.on_box = [&] {
        // A message box runs a message loop; a message written from it must
        // not show another box or write in the middle of the first.
        ++nested;
        f.logger.Error(25011, 9008);
        f.logger.Info(25546);
    };
    f.logger.Error(25005, 9005);
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(f.lines().size(), 1u);
    EXPECT_EQ(f.host.boxes.size(), 1u);

    // The flag is free again afterwards.
    f.host.on_box = nullptr;
    f.logger.Error(25011, 9008);
    EXPECT_EQ(f.lines().size(), 2u);
}

TEST(SetupLoggerTest, ReportMessageWritesOneLinePerEntryAndOneBox) {
    Fixture f;
    f.logger.SetLogLevel(3);
    f.logger.SetDisplayLevel(3);
    const MessageEntry entries[] = {{25009, std::nullopt, 2}, {25010, std::nullopt, 0}};
    ReportMessage(f.logger, 1, 1, 9007, entries);
    EXPECT_EQ(f.lines(),
              (std::vector<std::string>{
                  Line("25009", "Error E9007: Other users are logged on to this computer."),
                  Line("25010", "Error E9007: Ask them to log off, then run setup again.")}));
    EXPECT_EQ(f.boxes(), std::vector<std::string>{
                             "Error E9007: Other users are logged on to this computer.\r\n\r\n"
                             "Ask them to log off, then run setup again."});
    EXPECT_EQ(f.logger.log_level(), 3);
    EXPECT_EQ(f.logger.display_level(), 3);

    // Information with a code carries it as the value; arguments fill "%s".
    Fixture info;
    const MessageEntry path[] = {{25025, std::u16string(u"C:\\"), 0}};
    ReportMessage(info.logger, 3, 3, 6, path);
    EXPECT_EQ(info.lines(),
              std::vector<std::string>{Line(
                  "25025", "The folder cannot be used for the installation: C:\\ - Value = 6")});
    EXPECT_TRUE(info.host.boxes.empty());  // display level 2
}

TEST(SetupLoggerTest, ReportMessageByKinds) {
    // Display kind 2 at display level 1: the log only.
    Fixture warning;
    warning.logger.SetDisplayLevel(1);
    const MessageEntry name[] = {{25029, std::u16string(u"Kelvan Gorsewatch"), 0}};
    ReportMessage(warning.logger, 2, 2, 9024, name);
    EXPECT_EQ(
        warning.lines(),
        std::vector<std::string>{Line(
            "25029",
            "Warning W9024: Setup could not find the installation files of Kelvan Gorsewatch.")});
    EXPECT_TRUE(warning.host.boxes.empty());

    // Log kind 0: the box alone; id 0 takes the argument as the text.
    Fixture box;
    const MessageEntry entries[] = {{0, std::u16string(u"First"), 1}, {25026, std::nullopt, 0}};
    ReportMessage(box.logger, 0, 1, 0, entries);
    EXPECT_TRUE(box.host.files.empty());
    ASSERT_EQ(box.host.boxes.size(), 1u);
    EXPECT_EQ(Utf8(box.host.boxes[0]).substr(0, 7), "First\r\n");
}

TEST(SetupLoggerTest, ArgumentsAreNeverFormats) {
    Fixture f;
    f.host.strings[30000] = u"A %s B %d C %s %%";
    const MessageEntry entries[] = {{30000, std::u16string(u"x%s%d%n"), 0}};
    ReportMessage(f.logger, 3, 0, 0, entries);
    EXPECT_EQ(f.lines(), std::vector<std::string>{Line("30000", "A x%s%d%n B %d C %s %%")});
}

}  // namespace
}  // namespace olvex::setup
