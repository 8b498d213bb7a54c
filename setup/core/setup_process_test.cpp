#include "setup/core/setup_process.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "setup/core/destination_check.h"
#include "setup/core/setup_file.h"
#include "setup/core/setup_windows_test_support.h"
#include "setup/core/system_utilities.h"

namespace olvex::setup {
namespace {

using testing::Exists;
using testing::ReadFileText;
using testing::ScratchFolder;

TEST(SetupProcessTest, TheLogOnDiskInTheAnsiCodePage) {
    ScratchFolder dir;
    WindowsLoggerHost host;
    SetupLogger logger(host);
    logger.SetDisplayLevel(0);
    const std::u16string path = dir / u"trombolog.txt";
    ASSERT_TRUE(testing::WriteFileText(path, "an older run\r\n"));
    logger.Open(path, true);
    SetLastError(1234);
    logger.Info(25547);
    logger.Close(9044);
    // Writing the log leaves the caller's last-error value alone.
    EXPECT_EQ(GetLastError(), 1234u);

    const std::string text = ReadFileText(path);
    EXPECT_EQ(text.find("an older run"), std::string::npos);
    const std::string date = util::WideToNarrow(util::GetLocalTimeText()).substr(0, 10);
    EXPECT_EQ(text.substr(0, 10), date);
    EXPECT_NE(text.find(" (25501) Started by the product library\r\n"), std::string::npos);
    EXPECT_NE(text.find(" (00000) "), std::string::npos);
    EXPECT_NE(text.find(" (25547) Uninstall\r\n"), std::string::npos);
    EXPECT_NE(
        text.find(" (25502) Setup finished - Value = 9044\r\n\r\n+++ --- +++ --- +++\r\n\r\n"),
        std::string::npos);

    // An unwritable log loses its lines quietly.
    WindowsLoggerHost lost;
    SetupLogger nowhere(lost);
    nowhere.Open(dir / u"no\\such\\folder\\log.txt", true);
    nowhere.Info(25547);
    EXPECT_FALSE(Exists(dir / u"no"));
}

TEST(SetupProcessTest, BoxesGoThroughThePresenter) {
    WindowsLoggerHost host;
    std::vector<std::pair<std::u16string, std::u16string>> shown;
    host.SetBoxPresenter([&](HWND, const std::u16string& text, const std::u16string& caption) {
        shown.emplace_back(text, caption);
        return IDOK;
    });
    SetupLogger logger(host);
    ScratchFolder dir;
    logger.Open(dir / u"log.txt", false);
    logger.SetDisplayLevel(1);
    logger.Error(25005, 9005);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].first,
              u"Error E9005: This setup package holds no program that can be installed.");
    // The caption is the product's name (string 22006).
    EXPECT_EQ(shown[0].second, u"Test Suite Personal");

    host.SetCaptionSource([] { return std::u16string(u"Kelvan Suite Personal"); });
    logger.Warning(25005, 9005);
    EXPECT_EQ(shown.size(), 1u);  // display level 1: errors only
    logger.SetDisplayLevel(2);
    logger.Warning(25005, 9005);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].second, u"Kelvan Suite Personal");
}

TEST(SetupProcessTest, TheProcessWideObjects) {
    EXPECT_EQ(&SetupLogger::Instance().host(), static_cast<LoggerHost*>(&ProcessLoggerHost()));
    EXPECT_EQ(SetupOptions::Instance().mode, kModeInstall);
    SetupOptions options(u"xjuninst.exe");
    EXPECT_EQ(ParseProcessCommandLine(options, SetupLogger::Instance()), 0);
    EXPECT_EQ(options.mode, kModeUninstall);
}

TEST(SetupProcessTest, DestinationsOnThisMachine) {
    const auto validate = [](std::u16string_view path, std::vector<std::u16string> installed = {}) {
        return ValidateDestinationPath(path, true, std::move(installed));
    };
    EXPECT_EQ(validate(u"C:\\Program Files\\Kelvan Suite Personal"), kDestinationAccepted);
    EXPECT_EQ(validate(u"C:\\Program Files"), kDestinationProgramFiles);
    EXPECT_EQ(validate(util::ShortPathForm(u"C:\\Program Files").value_or(u"")),
              kDestinationProgramFiles);
    EXPECT_EQ(validate(u"C:\\windows\\system32\\Suite"), kDestinationInWindows);
    EXPECT_EQ(validate(u"C:\\users\\Public\\Suite"), kDestinationInDocuments);
    EXPECT_EQ(validate(u"C:\\Suite", {u"c:\\suite"}), kDestinationOtherProduct);
    EXPECT_NE(testing::ProcessLog().find(
                  "(25025) The folder cannot be used for the installation: C:\\Suite - Value = 10"),
              std::string::npos);
}

TEST(SetupFileTest, ReadsAndWritesAtOffsets) {
    ScratchFolder dir;
    const std::u16string path = dir / u"data.bin";
    SetupFile file;
    EXPECT_FALSE(file.Open(path, SetupFile::kRead));
    ASSERT_TRUE(file.Open(path, SetupFile::kWrite));
    EXPECT_TRUE(file.WriteAt(0, "hello", 5));
    EXPECT_TRUE(file.WriteAt(10, "x", 1));
    uint64_t size = 0;
    EXPECT_TRUE(file.GetSize(size));
    EXPECT_EQ(size, 11u);
    char buffer[8] = {};
    DWORD read = 0;
    EXPECT_FALSE(file.ReadAt(0, buffer, 4, read));  // opened for writing only
    file.Close();
    EXPECT_FALSE(file.is_open());

    ASSERT_TRUE(file.Open(path, SetupFile::kReadWrite));
    EXPECT_TRUE(file.ReadAt(1, buffer, 4, read));
    EXPECT_EQ(read, 4u);
    EXPECT_EQ(std::string(buffer, 4), "ello");
    EXPECT_TRUE(file.SetSize(3));
    EXPECT_TRUE(file.GetSize(size));
    EXPECT_EQ(size, 3u);
    EXPECT_TRUE(file.ReadAt(2, buffer, 8, read));
    EXPECT_EQ(read, 1u);
    file.Close();
    EXPECT_EQ(ReadFileText(path), "hel");

    SetupFile created;
    EXPECT_TRUE(created.Open(dir / u"new.bin", SetupFile::kReadWrite));
}

}  // namespace
}  // namespace olvex::setup
