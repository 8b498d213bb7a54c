#include "client/common/active_protection_settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "testing/scratch_dir.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace olvex {
namespace {

using Settings = ActiveProtectionSettings;

struct TextCase {
    const char* name;
    std::string text;
    Settings expected;
};

// Settings read onto {memory 1, cookies 1, heur 1, onboot 0}, so that a line
// that changes nothing shows.
constexpr Settings kStart{1, 1, 1, 0};

TEST(ActiveProtectionSettingsTest, ReadsLinesByPositionAndTakesOnlyExactValues) {
    const std::vector<TextCase> cases = {
        {"empty", "", kStart},
        {"all four", "mem=off\r\ncookies=off\r\nheur=on\r\nonboot=on\r\n", {0, 0, 1, 1}},
        {"keys in another order",
         "onboot=off\r\nmem=on\r\ncookies=on\r\nheur=on\r\n",
         {0, 1, 1, 1}},
        {"trailing blanks", "mem=off   \r\n", {0, 1, 1, 0}},
        {"a blank after =", "mem= off\r\n", kStart},
        {"another case", "mem=Off\r\ncookies=OFF\r\n", kStart},
        {"no =", "off\r\n", {0, 1, 1, 0}},
        {"no = and not a value", "mem\r\n", kStart},
        {"two lines", "mem=off\ncookies=off\n", {0, 0, 1, 0}},
        {"five lines",
         "mem=off\r\ncookies=off\r\nheur=off\r\nonboot=on\r\nmem=on\r\n",
         {0, 0, 0, 1}},
        {"first = only", "mem=x=off\r\n", kStart},
        {"value after the first =", "a==off\r\n", kStart},
        {"tab is no blank", "mem=off\t\r\n", kStart},
        {"empty lines change nothing", "\r\n\r\nheur=off\r\n", {1, 1, 0, 0}},
        {"no final line end", "mem=off\r\ncookies=off", {0, 0, 1, 0}},
        {"a lone CR stays in the value", "mem=off\r\r\n", kStart},
    };
    for (const auto& c : cases) {
        Settings settings = kStart;
        ApplyActiveProtectionText(c.text, settings);
        EXPECT_EQ(settings, c.expected) << c.name;
    }
    Settings defaults;
    EXPECT_EQ(defaults, (Settings{0, 0, 0, 1}))
        << "memory, cookies, heur off; start with Windows on";
}

TEST(ActiveProtectionSettingsTest, WritesFourCrLfLinesAndKeepsHeuristics) {
    EXPECT_EQ(FormatActiveProtectionSettings(Settings()),
              "mem=off\r\ncookies=off\r\nheur=off\r\nonboot=on\r\n");
    EXPECT_EQ(FormatActiveProtectionSettings({1, 0, 1, 0}),
              "mem=on\r\ncookies=off\r\nheur=on\r\nonboot=off\r\n");
    EXPECT_EQ(FormatActiveProtectionSettings({2, -1, 0, 1}),
              "mem=off\r\ncookies=off\r\nheur=off\r\nonboot=on\r\n")
        << "only 1 is written on";
    for (const Settings settings :
         {Settings{1, 1, 1, 1}, Settings{0, 1, 0, 1}, Settings{1, 0, 1, 0}}) {
        Settings read = kStart;
        ApplyActiveProtectionText(FormatActiveProtectionSettings(settings), read);
        EXPECT_EQ(read, settings);
    }
}

// Holds a file the way the other program does: opened with no sharing.
class HeldFile {
  public:
    explicit HeldFile(const std::string& path) {
#ifdef _WIN32
        handle_ = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
#else
        fd_ = open(path.c_str(), O_RDWR | O_CREAT, 0644);
        if (fd_ >= 0)
            flock(fd_, LOCK_EX);
#endif
    }
    ~HeldFile() {
        Release();
    }
    void Release() {
#ifdef _WIN32
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
#else
        if (fd_ >= 0)
            close(fd_);
        fd_ = -1;
#endif
    }

  private:
#ifdef _WIN32
    HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
    int fd_ = -1;
#endif
};

class ActiveProtectionFileTest : public ::testing::Test {
  protected:
    std::string ProductFolder() const {
        return (scratch_.path() / "XJ" / "KelvanGorsewatch").string();
    }
    std::string SettingsFile() const {
        return ActiveProtectionSettingsPath(scratch_.path().string());
    }
    std::string WriteSettingsFile(const std::string& text) const {
        return scratch_.Write("XJ/KelvanGorsewatch/qzad.ini", text);
    }

    testing::ScratchDir scratch_;
    std::vector<unsigned> sleeps_;
    RetrySleep recorded_ = [this](unsigned ms) { sleeps_.push_back(ms); };
};

TEST_F(ActiveProtectionFileTest, MissingFileLeavesTheSettingsAtOnceAndMakesNothing) {
    Settings settings;
    EXPECT_EQ(ReadActiveProtectionSettings(SettingsFile(), settings, recorded_),
              SettingsFileStatus::kMissing);
    EXPECT_EQ(settings, Settings());
    EXPECT_TRUE(sleeps_.empty());
    EXPECT_FALSE(std::filesystem::exists(scratch_.path() / "XJ")) << "a read makes no folder";
    EXPECT_EQ(ReadProtectionStatus(true, scratch_.path().string(), recorded_),
              ProtectionStatus::kNotProtecting);
    EXPECT_FALSE(std::filesystem::exists(scratch_.path() / "XJ"));
}

TEST_F(ActiveProtectionFileTest, ReadsTheFileAndGivesTheStatus) {
    WriteSettingsFile("mem=off\r\ncookies=on\r\nheur=on\r\nonboot=off\r\n");
    Settings settings;
    ASSERT_EQ(ReadActiveProtectionSettings(SettingsFile(), settings, recorded_),
              SettingsFileStatus::kDone);
    EXPECT_EQ(settings, (Settings{0, 1, 1, 0}));
    const std::string root = scratch_.path().string();
    EXPECT_EQ(ReadProtectionStatus(true, root, recorded_), ProtectionStatus::kProtecting);
    EXPECT_EQ(ReadProtectionStatus(false, root, recorded_), ProtectionStatus::kStopped);
    EXPECT_STREQ(ProtectionStatusText(ProtectionStatus::kProtecting), "Protecting your computer");
    EXPECT_EQ(ProtectionStatusStringId(ProtectionStatus::kStopped), 145);
    EXPECT_STREQ(ProtectionStatusText(ProtectionStatus::kNotProtecting),
                 "Active Protection is not protecting your computer.");
    EXPECT_EQ(ProtectionStatusStringId(ProtectionStatus::kNotProtecting), 375);
}

TEST_F(ActiveProtectionFileTest, ReadWaitsOutAnotherHolderAndNeverSleepsAfterTheLastTry) {
    const std::string path = WriteSettingsFile("mem=on\r\n");
    auto held = std::make_unique<HeldFile>(path);
    Settings settings;
    EXPECT_EQ(ReadActiveProtectionSettings(path, settings, recorded_), SettingsFileStatus::kBusy);
    EXPECT_EQ(sleeps_, (std::vector<unsigned>{250, 500, 1000, 2000}));
    EXPECT_EQ(settings, Settings());

    sleeps_.clear();
    recorded_ = [&](unsigned ms) {
        sleeps_.push_back(ms);
        if (sleeps_.size() == 2)
            held->Release();  // the other program lets go during the second sleep
    };
    EXPECT_EQ(ReadActiveProtectionSettings(path, settings, recorded_), SettingsFileStatus::kDone);
    EXPECT_EQ(sleeps_, (std::vector<unsigned>{250, 500}));
    EXPECT_EQ(settings.memory, 1);
}

TEST_F(ActiveProtectionFileTest, AFileThatCannotBeReadFailsAtOnce) {
    std::filesystem::create_directories(SettingsFile());  // a folder where the file should be
    Settings settings;
    EXPECT_EQ(ReadActiveProtectionSettings(SettingsFile(), settings, recorded_),
              SettingsFileStatus::kFailed);
    EXPECT_TRUE(sleeps_.empty()) << "only a holder is waited for";
    EXPECT_EQ(WriteActiveProtectionSettings(scratch_.path().string(), Settings(), recorded_),
              SettingsFileStatus::kFailed);
    EXPECT_TRUE(sleeps_.empty());
}

TEST_F(ActiveProtectionFileTest, WriteMakesTheFoldersAndReplacesTheWholeFile) {
    ASSERT_EQ(WriteActiveProtectionSettings(scratch_.path().string(), {1, 0, 1, 1}, recorded_),
              SettingsFileStatus::kDone);
    EXPECT_EQ(testing::ReadFileBytes(SettingsFile()),
              testing::ReadFileBytes(
                  scratch_.Write("expected", "mem=on\r\ncookies=off\r\nheur=on\r\nonboot=on\r\n")));

    WriteSettingsFile(
        "mem=on\r\ncookies=on\r\nheur=on\r\nonboot=on\r\nextra=line with more text\r\n");
    ASSERT_EQ(WriteActiveProtectionSettings(scratch_.path().string(), Settings(), recorded_),
              SettingsFileStatus::kDone);
    const auto bytes = testing::ReadFileBytes(SettingsFile());
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              "mem=off\r\ncookies=off\r\nheur=off\r\nonboot=on\r\n")
        << "a fifth line is dropped";
    EXPECT_TRUE(sleeps_.empty());
}

TEST_F(ActiveProtectionFileTest, WriteWaitsOutAnotherHolderAndNeverMakesTheCommonFolder) {
    const std::string path = WriteSettingsFile("mem=on\r\n");
    HeldFile held(path);
    EXPECT_EQ(WriteActiveProtectionSettings(scratch_.path().string(), Settings(), recorded_),
              SettingsFileStatus::kBusy);
    EXPECT_EQ(sleeps_, (std::vector<unsigned>{250, 500, 1000, 2000}));
    held.Release();
    const auto bytes = testing::ReadFileBytes(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "mem=on\r\n")
        << "the holder's file is untouched";

    const auto missing = (scratch_.path() / "no-such-folder").string();
    EXPECT_EQ(WriteActiveProtectionSettings(missing, Settings(), recorded_),
              SettingsFileStatus::kFailed);
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_EQ(WriteActiveProtectionSettings("", Settings(), recorded_),
              SettingsFileStatus::kFailed);
}

}  // namespace
}  // namespace olvex
