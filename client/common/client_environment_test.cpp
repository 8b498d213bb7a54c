#include "client/common/client_environment.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>

#include "client/common/client_test_support.h"
#include "testing/scratch_dir.h"

namespace olvex::testing {
namespace {

TEST(ClientEnvironment, ProductFolderIsMadeUnderTheCommonDataFolder) {
    ScratchDir dir;
    FakeFolders folders;
    folders.common_app_data = dir.path().string();
    const ScopedClientFolders use(folders);

    for (int round = 0; round < 2; ++round) {  // made, then found
        const auto folder = MakeProductDataFolder();
        ASSERT_TRUE(folder) << round;
        EXPECT_EQ(folder.path, dir.path().string() + "\\XJ\\KelvanGorsewatch\\");
        EXPECT_TRUE(std::filesystem::is_directory(folder.path));
    }

    ScratchDir blocked;
    folders.common_app_data = blocked.path().string();
    blocked.Write("XJ", "a file where the folder belongs");
    EXPECT_EQ(MakeProductDataFolder().error, ProductFolderError::kCompanyFolder);
    std::filesystem::remove(blocked.path() / "XJ");
    std::filesystem::create_directory(blocked.path() / "XJ");
    blocked.Write("XJ\\KelvanGorsewatch", "a file");
    EXPECT_EQ(MakeProductDataFolder().error, ProductFolderError::kProductFolder);

    folders.common_app_data.reset();
    EXPECT_EQ(MakeProductDataFolder().error, ProductFolderError::kNoCommonAppData);
}

TEST(ClientEnvironment, InstallFolderComesFromTheProductKeyElseTheCurrentFolder) {
    const RegistrySnapshot snapshot(HKEY_LOCAL_MACHINE, {L"Software\\Vorandel"});
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Vorandel");
    ScratchDir dir;

    std::array<char, MAX_PATH> current{};
    GetCurrentDirectoryA(MAX_PATH, current.data());
    std::string current_folder = current.data();
    if (current_folder.back() != '\\')
        current_folder += '\\';
    EXPECT_EQ(SystemClientFolders().InstallFolder(), current_folder);

    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProductRegistryKey, 0, nullptr, 0, KEY_WRITE,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::string install = dir.path().string();
    RegSetValueExA(key, kInstallPathValue, 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(install.c_str()),
                   static_cast<DWORD>(install.size() + 1));
    EXPECT_EQ(SystemClientFolders().InstallFolder(), install + "\\");

    // A value of another type is no install folder.
    const DWORD number = 5;
    RegSetValueExA(key, kInstallPathValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                   sizeof(number));
    EXPECT_EQ(SystemClientFolders().InstallFolder(), current_folder);
    RegCloseKey(key);

    const auto common = SystemClientFolders().CommonAppData();
    ASSERT_TRUE(common);
    EXPECT_TRUE(std::filesystem::is_directory(*common));
    EXPECT_NE(common->back(), '\\');
    EXPECT_TRUE(SystemClientFolders().CommonProgramFiles());
}

TEST(ClientEnvironment, RetriesSleepLongerAfterEachFailedAttempt) {
    FakeClock clock;
    const ScopedClientClock use(clock);
    int attempts = 0;
    EXPECT_FALSE(RetryWithBackoff(kAppendAttempts, [&] {
        ++attempts;
        return AttemptResult::kRetry;
    }));
    EXPECT_EQ(attempts, 7);
    EXPECT_EQ(clock.sleeps, (std::vector<DWORD>{250, 500, 1000, 2000, 4000, 8000}));

    clock.sleeps.clear();
    attempts = 0;
    EXPECT_TRUE(RetryWithBackoff(kReadAttempts, [&] {
        return ++attempts == 3 ? AttemptResult::kDone : AttemptResult::kRetry;
    }));
    EXPECT_EQ(clock.sleeps, (std::vector<DWORD>{250, 500}));

    clock.sleeps.clear();
    EXPECT_FALSE(RetryWithBackoff(kReadAttempts, [] { return AttemptResult::kGiveUp; }));
    EXPECT_TRUE(clock.sleeps.empty());
}

TEST(ClientEnvironment, DateTimeTextAndFileTimeOfALocalTime) {
    const SYSTEMTIME time{2000, 1, 6, 1, 0, 0, 0, 0};
    EXPECT_EQ(FileTimeOf(time), 125911584000000000ull);  // 2000-01-01 00:00:00
    const SYSTEMTIME invalid{2000, 13, 0, 40, 0, 0, 0, 0};
    EXPECT_EQ(FileTimeOf(invalid), 0u);

    std::array<char, 128> date{};
    std::array<char, 128> clock_text{};
    GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, date.data(), 128);
    GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &time, nullptr, clock_text.data(), 128);
    EXPECT_EQ(FormatDateTime(time), std::string(date.data()) + "-" + clock_text.data());

    FakeClock clock;
    const ScopedClientClock use(clock);
    EXPECT_EQ(FormatCurrentDateTime(), FormatDateTime(clock.now));
    EXPECT_EQ(JoinPath("C:\\a\\", "b.txt"), "C:\\a\\b.txt");
    EXPECT_EQ(JoinPath("C:\\a", "\\b.txt"), "C:\\a\\b.txt");
}

}  // namespace
}  // namespace olvex::testing
