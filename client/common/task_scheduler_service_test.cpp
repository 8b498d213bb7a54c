// The Task Scheduler check on a real (Wine) machine, in a prefix of the
// test's own: the "Schedule" service started through the service control
// manager, the service disabled (a second run of this program by
// test_programs/task_scheduler_test.sh, after the wineserver restarted), and
// the Windows 9x branch, reached through the platform id, starting a
// stand-in "mstask.exe" found on the search path.
#include "client/common/task_scheduler_service.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <utility>
#include <vector>

#include "testing/gui/gui_test_support.h"
#include "testing/gui/window_driver.h"
#include "testing/scratch_dir.h"

namespace olvex {
namespace {

using Shown = std::vector<std::pair<int, int>>;
constexpr DWORD kWaitMs = 20000;

bool ScheduleDisabledRun() {
    return !gui::Environment(L"OLVEX_SCHEDULE_DISABLED").empty();
}

std::optional<DWORD> ScheduleState() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager)
        return std::nullopt;
    std::optional<DWORD> state;
    if (SC_HANDLE service = OpenServiceA(manager, "Schedule", SERVICE_QUERY_STATUS)) {
        SERVICE_STATUS status{};
        if (QueryServiceStatus(service, &status))
            state = status.dwCurrentState;
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return state;
}

bool Check(std::uint32_t platform_id, Shown& shown) {
    SystemTaskSchedulerPlatform platform;
    return CheckTaskScheduler(platform_id, platform,
                              [&](int id, int sound) { shown.emplace_back(id, sound); });
}

TEST(TaskSchedulerServiceTest, StoppedScheduleServiceIsStartedAndRunsAfterwards) {
    if (ScheduleDisabledRun())
        GTEST_SKIP() << "the run with the service disabled";
    ASSERT_EQ(ScheduleState(), static_cast<DWORD>(SERVICE_STOPPED)) << "as a new prefix has it";
    Shown shown;
    EXPECT_TRUE(Check(kPlatformNt, shown));
    EXPECT_EQ(shown, Shown());
    EXPECT_EQ(ScheduleState(), static_cast<DWORD>(SERVICE_RUNNING))
        << "the check waits until the service runs";

    EXPECT_TRUE(Check(kPlatformNt, shown)) << "found running the second time";
    EXPECT_EQ(shown, Shown());
}

TEST(TaskSchedulerServiceTest, DisabledScheduleServiceGivesMessage243WithoutSound) {
    if (!ScheduleDisabledRun())
        GTEST_SKIP() << "runs after the service was disabled and the wineserver restarted";
    ASSERT_EQ(ScheduleState(), static_cast<DWORD>(SERVICE_STOPPED));
    Shown shown;
    EXPECT_FALSE(Check(kPlatformNt, shown));
    EXPECT_EQ(shown, (Shown{{kSchedulerNotStartedMessage, kNoSound}}));
    EXPECT_EQ(ScheduleState(), static_cast<DWORD>(SERVICE_STOPPED));
}

// The search path for one test: a folder of its own in front.
class SearchPathFolder {
  public:
    SearchPathFolder() {
        const DWORD size = GetEnvironmentVariableA("PATH", nullptr, 0);
        saved_.resize(size);
        GetEnvironmentVariableA("PATH", saved_.data(), size);
        saved_.resize(size ? size - 1 : 0);
        folder_ = scratch_.path().string();
        SetEnvironmentVariableA("PATH", (folder_ + ";" + saved_).c_str());
    }
    ~SearchPathFolder() { SetEnvironmentVariableA("PATH", saved_.c_str()); }
    const std::string& folder() const { return folder_; }
    std::string File(const std::string& name) const { return folder_ + "\\" + name; }

  private:
    testing::ScratchDir scratch_;
    std::string saved_;
    std::string folder_;
};

TEST(TaskSchedulerServiceTest, Windows9xStartsMstaskOnceAndNothingWhileItsWindowExists) {
    if (ScheduleDisabledRun())
        GTEST_SKIP();
    const SearchPathFolder path;
    const std::string mstask = path.File("mstask.exe");
    ASSERT_TRUE(CopyFileW(gui::GuiProgramPath(L"stand_in.exe").c_str(),
                          std::filesystem::path(mstask).wstring().c_str(), FALSE));
    {
        std::ofstream settings(path.File("mstask.stand-in"));
        settings << "class=SAGEWINDOWCLASS\ntitle=SYSTEM AGENT COM WINDOW\n";
    }
    SystemTaskSchedulerPlatform platform;
    ASSERT_EQ(platform.FindSchedulerProgram(), mstask) << "found on the search path";

    Shown shown;
    EXPECT_TRUE(Check(kPlatformWindows9x, shown));
    EXPECT_EQ(shown, Shown());
    const HWND agent = gui::FindTopLevelWindow(
        {.title = L"SYSTEM AGENT COM WINDOW", .class_name = L"SAGEWINDOWCLASS"}, kWaitMs);
    ASSERT_NE(agent, nullptr) << "mstask.exe was started";
    EXPECT_TRUE(Check(kPlatformWindows9x, shown)) << "its window is there";
    EXPECT_EQ(shown, Shown());

    gui::PostWindowMessage(agent, WM_CLOSE, 0, 0);
    EXPECT_TRUE(gui::WaitForWindowGone(agent, kWaitMs));
    const auto log = gui::ReadLines(std::filesystem::path(path.File("mstask.log")).wstring());
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& line) { return line.rfind("start ", 0) == 0; }),
              1)
        << "nothing started while the window existed";
}

TEST(TaskSchedulerServiceTest, Windows9xWithoutMstaskOrWithOneThatCannotStart) {
    if (ScheduleDisabledRun())
        GTEST_SKIP();
    const SearchPathFolder path;
    SystemTaskSchedulerPlatform platform;
    ASSERT_EQ(platform.FindSchedulerProgram(), std::nullopt) << "Wine has no mstask.exe";
    Shown shown;
    EXPECT_FALSE(Check(kPlatformWindows9x, shown));
    EXPECT_EQ(shown, (Shown{{kSchedulerNotFoundMessage, kErrorSound}}));

    // On Windows 9x the agent that would not start is told with the warning
    // sound; only the NT service's failed start is silent.
    std::ofstream(path.File("mstask.exe")) << "not a program";
    shown.clear();
    EXPECT_FALSE(Check(kPlatformWindows9x, shown));
    EXPECT_EQ(shown, (Shown{{kSchedulerNotStartedMessage, kErrorSound}}));
}

TEST(TaskSchedulerServiceTest, Win32sIsNotSupported) {
    Shown shown;
    EXPECT_FALSE(Check(kPlatformWin32s, shown));
    EXPECT_EQ(shown, (Shown{{kSchedulerUnsupportedMessage, kErrorSound}}));
}

}  // namespace
}  // namespace olvex
