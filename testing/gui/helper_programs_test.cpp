// The GUI tests' helper programs prove themselves: the mutex holder seen
// from another process, the file locker keeping other opens out, the
// stand-in window's log of the driver's messages and the URL recorder
// receiving an address opened through ShellExecute.
#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <vector>

#include "client/common/active_protection_settings.h"
#include "testing/gui/gui_test_support.h"
#include "testing/gui/window_driver.h"
#include "testing/scratch_dir.h"

namespace olvex::gui {
namespace {

constexpr DWORD kWaitMs = 20000;

std::wstring UniqueName(const std::wstring& stem) {
    static int counter = 0;
    return stem + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
}

bool MutexExists(const std::wstring& name) {
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, name.c_str());
    if (mutex)
        CloseHandle(mutex);
    return mutex != nullptr;
}

TEST(HelperProgramsTest, MutexHolderHoldsNamedMutexesUntilToldOrForSomeSeconds) {
    const std::wstring first = UniqueName(L"OlvexHeldA");
    const std::wstring second = UniqueName(L"OlvexHeldB");
    const std::wstring release = UniqueName(L"OlvexRelease");
    HANDLE release_event = CreateEventW(nullptr, TRUE, FALSE, release.c_str());
    ASSERT_NE(release_event, nullptr);

    RunningProgram holder;
    ASSERT_TRUE(StartWhenReady(holder, Quote(GuiProgramPath(L"mutex_holder.exe")) + L" " + first +
                                           L" " + second + L" --until " + release));
    HANDLE seen = OpenMutexW(SYNCHRONIZE, FALSE, first.c_str());
    ASSERT_NE(seen, nullptr) << "another process sees the mutex";
    EXPECT_EQ(WaitForSingleObject(seen, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "and it is owned";
    CloseHandle(seen);
    EXPECT_TRUE(MutexExists(second));

    RunningProgram rival;
    ASSERT_TRUE(rival.Start(Quote(GuiProgramPath(L"mutex_holder.exe")) + L" " + first));
    EXPECT_EQ(rival.Wait(kWaitMs), 2u) << "a mutex that exists is not taken over";

    SetEvent(release_event);
    EXPECT_EQ(holder.Wait(kWaitMs), 0u);
    EXPECT_FALSE(MutexExists(first));
    EXPECT_FALSE(MutexExists(second));
    CloseHandle(release_event);

    const std::wstring timed = UniqueName(L"OlvexHeldBriefly");
    ASSERT_TRUE(StartWhenReady(
        holder, Quote(GuiProgramPath(L"mutex_holder.exe")) + L" " + timed + L" --seconds 1"));
    EXPECT_TRUE(MutexExists(timed));
    EXPECT_EQ(holder.Wait(kWaitMs), 0u);
    EXPECT_FALSE(MutexExists(timed));
}

TEST(HelperProgramsTest, FileLockerKeepsEveryOtherOpenOutForItsSeconds) {
    const testing::ScratchDir scratch;
    const std::wstring file = scratch.path().wstring() + L"\\locked.ini";
    RunningProgram locker;
    ASSERT_TRUE(StartWhenReady(
        locker, Quote(GuiProgramPath(L"file_locker.exe")) + L" " + Quote(file) + L" --seconds 2"));
    HANDLE open = CreateFileW(file.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(open, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

    EXPECT_EQ(locker.Wait(kWaitMs), 0u);
    open = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(open, INVALID_HANDLE_VALUE) << "free again once the locker has ended";
    CloseHandle(open);
}

TEST(HelperProgramsTest, ActiveProtectionSettingsReadWaitsOutTheFileLocker) {
    const testing::ScratchDir scratch;
    const std::string common = scratch.path().string();
    ASSERT_EQ(WriteActiveProtectionSettings(common, {1, 1, 0, 0}), SettingsFileStatus::kDone);
    const std::string path = ActiveProtectionSettingsPath(common);
    RunningProgram locker;
    ASSERT_TRUE(StartWhenReady(locker, Quote(GuiProgramPath(L"file_locker.exe")) + L" " +
                                           Quote(std::wstring(path.begin(), path.end())) +
                                           L" --seconds 1"));
    std::vector<unsigned> sleeps;
    ActiveProtectionSettings settings;
    const DWORD start = GetTickCount();
    EXPECT_EQ(ReadActiveProtectionSettings(path, settings,
                                           [&](unsigned ms) {
                                               sleeps.push_back(ms);
                                               SleepMilliseconds(ms);
                                           }),
              SettingsFileStatus::kDone);
    EXPECT_GE(GetTickCount() - start, 700u) << "it waited for the locker";
    EXPECT_FALSE(sleeps.empty());
    EXPECT_LE(sleeps.size(), 3u) << "and no longer than needed";
    EXPECT_EQ(settings, (ActiveProtectionSettings{1, 1, 0, 0}));
    EXPECT_EQ(locker.Wait(kWaitMs), 0u);
}

TEST(HelperProgramsTest, StandInCopyLogsItsStartsAndTheMessagesItReceives) {
    const testing::ScratchDir scratch;
    const std::wstring folder = scratch.path().wstring();
    const std::wstring copy = folder + L"\\Wakenor.exe";
    ASSERT_TRUE(CopyFileW(GuiProgramPath(L"stand_in.exe").c_str(), copy.c_str(), FALSE));
    {
        std::ofstream settings(std::filesystem::path(folder + L"\\Wakenor.stand-in"));
        settings << "title=Kelvan Gorsewatch -- Active Protection\nignore-close=1\n";
    }
    const WindowQuery query{.title = L"Kelvan Gorsewatch -- Active Protection"};

    RunningProgram stand_in;
    ASSERT_TRUE(stand_in.Start(Quote(copy) + L" -autoupdate"));
    const HWND window =
        FindTopLevelWindow({.title = query.title, .process_id = stand_in.id()}, kWaitMs);
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(SaveScreenshot(window, "stand-in-window").empty());

    const SendResult sent = SendWindowMessage(window, WM_USER + 2, static_cast<WPARAM>(-1), 515);
    EXPECT_TRUE(sent.completed);
    const std::wstring log = folder + L"\\Wakenor.log";
    const auto logged = [&](const std::string& start) {
        const auto lines = ReadLines(log);
        return std::count_if(lines.begin(), lines.end(),
                             [&](const std::string& line) { return line.rfind(start, 0) == 0; });
    };
    ASSERT_TRUE(PostWindowMessage(window, WM_CLOSE, 0, 0));
    ASSERT_TRUE(WaitUntil([&] { return logged("message 16 0 0 ") == 1; }, kWaitMs));
    EXPECT_TRUE(SendWindowMessage(window, WM_NULL, 0, 0).completed);
    EXPECT_TRUE(IsWindow(window)) << "the first WM_CLOSE is ignored";
    ASSERT_TRUE(PostWindowMessage(window, WM_CLOSE, 0, 0));
    EXPECT_TRUE(WaitForWindowGone(window, kWaitMs));
    EXPECT_EQ(stand_in.Wait(kWaitMs), 0u);

    ASSERT_TRUE(stand_in.Start(Quote(copy)));
    ASSERT_NE(FindTopLevelWindow({.title = query.title, .process_id = stand_in.id()}, kWaitMs),
              nullptr);
    stand_in.End();

    const auto lines = ReadLines(log);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(logged("start "), 2) << "each start is recorded";
    EXPECT_NE(lines.front().find("Wakenor.exe\" -autoupdate"), std::string::npos) << lines.front();
    EXPECT_EQ(logged("message 1026 -1 515 "), 1);
    EXPECT_EQ(logged("message 16 0 0 "), 2) << "both WM_CLOSE messages arrived";
    EXPECT_EQ(logged("end"), 1) << "the second copy was ended from outside";
}

TEST(HelperProgramsTest, UrlRecorderReceivesAnAddressOpenedWithShellExecute) {
    const std::wstring log = Environment(L"OLVEX_URL_LOG");
    ASSERT_FALSE(log.empty()) << "run by scripts/gui-run.sh";
    const std::wstring address =
        L"http://127.0.0.1:9/olvex-recorder-test?case=" + std::to_wstring(GetCurrentProcessId());
    const auto started = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    EXPECT_GT(started, 32);
    const std::string expected(address.begin(), address.end());
    EXPECT_TRUE(WaitUntil(
        [&] {
            const auto lines = ReadLines(log);
            return std::find(lines.begin(), lines.end(), expected) != lines.end();
        },
        kWaitMs));
}

}  // namespace
}  // namespace olvex::gui
