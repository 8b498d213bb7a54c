#include "client/common/task_scheduler_check.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace olvex {
namespace {

// A machine as the check sees it; records what the check did.
class FakePlatform final : public TaskSchedulerPlatform {
  public:
    bool agent_window = false;
    std::optional<std::string> mstask = "C:\\WINDOWS\\SYSTEM\\mstask.exe";
    bool program_starts = true;
    bool manager_opens = true;
    bool service_opens = true;
    std::optional<bool> runs = false;
    bool service_starts = true;

    std::vector<std::string> calls;
    int open_handles = 0;

    bool SystemAgentWindowExists() override { return Call("agent window"), agent_window; }
    std::optional<std::string> FindSchedulerProgram() override { return Call("search"), mstask; }
    bool StartSchedulerProgram(const std::string& path) override {
        return Call("start " + path), program_starts;
    }
    bool OpenServiceManager() override {
        Call("open manager");
        open_handles += manager_opens;
        return manager_opens;
    }
    bool OpenScheduleService() override {
        Call("open service");
        --open_handles;  // the manager goes at once
        open_handles += service_opens;
        return service_opens;
    }
    std::optional<bool> ScheduleServiceRuns() override { return Call("query"), runs; }
    bool StartScheduleService() override { return Call("start service"), service_starts; }
    void WaitUntilScheduleServiceRuns() override { Call("wait"); }
    void CloseScheduleService() override {
        Call("close");
        --open_handles;
    }

  private:
    void Call(std::string what) { calls.push_back(std::move(what)); }
};

struct Case {
    const char* name;
    std::uint32_t platform_id;
    void (*arrange)(FakePlatform&);
    bool available;
    std::vector<std::pair<int, int>> messages;  // id, sound kind
    std::vector<std::string> calls;
};

TEST(TaskSchedulerCheckTest, DecidesByPlatformAndTellsEachFailureOnce) {
    const std::vector<Case> cases = {
        {"Win32s", 0, [](FakePlatform&) {}, false, {{241, 1}}, {}},
        {"9x with the System Agent window",
         1,
         [](FakePlatform& p) { p.agent_window = true; },
         true,
         {},
         {"agent window"}},
        {"9x without mstask.exe",
         1,
         [](FakePlatform& p) { p.mstask.reset(); },
         false,
         {{242, 1}},
         {"agent window", "search"}},
        {"9x starts mstask.exe",
         1,
         [](FakePlatform&) {},
         true,
         {},
         {"agent window", "search", "start C:\\WINDOWS\\SYSTEM\\mstask.exe"}},
        {"9x mstask.exe does not start",
         1,
         [](FakePlatform& p) { p.program_starts = false; },
         false,
         {{243, 1}},
         {"agent window", "search", "start C:\\WINDOWS\\SYSTEM\\mstask.exe"}},
        {"NT without a service manager",
         2,
         [](FakePlatform& p) { p.manager_opens = false; },
         false,
         {{244, 1}},
         {"open manager"}},
        {"NT without the service",
         2,
         [](FakePlatform& p) { p.service_opens = false; },
         false,
         {{242, 1}},
         {"open manager", "open service"}},
        {"NT state unknown",
         2,
         [](FakePlatform& p) { p.runs.reset(); },
         false,
         {{245, 1}},
         {"open manager", "open service", "query", "close"}},
        {"NT running",
         2,
         [](FakePlatform& p) { p.runs = true; },
         true,
         {},
         {"open manager", "open service", "query", "close"}},
        {"NT stopped and started",
         2,
         [](FakePlatform&) {},
         true,
         {},
         {"open manager", "open service", "query", "start service", "wait", "close"}},
        {"NT cannot be started",
         2,
         [](FakePlatform& p) { p.service_starts = false; },
         false,
         {{243, 0}},
         {"open manager", "open service", "query", "start service", "close"}},
        {"a later NT platform id",
         3,
         [](FakePlatform& p) { p.runs = true; },
         true,
         {},
         {"open manager", "open service", "query", "close"}},
    };
    for (const auto& c : cases) {
        FakePlatform platform;
        c.arrange(platform);
        std::vector<std::pair<int, int>> shown;
        const bool available = CheckTaskScheduler(
            c.platform_id, platform, [&](int id, int sound) { shown.emplace_back(id, sound); });
        EXPECT_EQ(available, c.available) << c.name;
        EXPECT_EQ(shown, c.messages) << c.name;
        EXPECT_EQ(platform.calls, c.calls) << c.name;
        EXPECT_EQ(platform.open_handles, 0) << c.name << ": every handle is let go";
    }
}

TEST(TaskSchedulerCheckTest, WorksWithoutAMessageFunction) {
    FakePlatform platform;
    EXPECT_FALSE(CheckTaskScheduler(kPlatformWin32s, platform, nullptr));
}

}  // namespace
}  // namespace olvex
