// The system's side of the Task Scheduler check (task_scheduler_check.h):
// the System Agent window, "mstask.exe" on the search path, and the
// "Schedule" service through the service control manager. Every handle it
// opens is closed when the check is done with it, and at the latest when
// this object goes.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "client/common/task_scheduler_check.h"

namespace olvex {

class SystemTaskSchedulerPlatform final : public TaskSchedulerPlatform {
  public:
    // How long a just started service is waited for, and how the wait
    // sleeps between looks (the system's Sleep unless a test gives its own).
    static constexpr DWORD kStartWaitMs = 5000;
    static constexpr DWORD kStartPollMs = 100;
    explicit SystemTaskSchedulerPlatform(std::function<void(DWORD)> sleep = ::Sleep);
    ~SystemTaskSchedulerPlatform() override;
    SystemTaskSchedulerPlatform(const SystemTaskSchedulerPlatform&) = delete;
    SystemTaskSchedulerPlatform& operator=(const SystemTaskSchedulerPlatform&) = delete;

    bool SystemAgentWindowExists() override;
    std::optional<std::string> FindSchedulerProgram() override;
    bool StartSchedulerProgram(const std::string& path) override;

    bool OpenServiceManager() override;
    bool OpenScheduleService() override;
    std::optional<bool> ScheduleServiceRuns() override;
    // A service that was started meanwhile by someone else counts as started.
    bool StartScheduleService() override;
    void WaitUntilScheduleServiceRuns() override;
    void CloseScheduleService() override;

  private:
    void CloseManager();

    std::function<void(DWORD)> sleep_;
    SC_HANDLE manager_ = nullptr;
    SC_HANDLE service_ = nullptr;
};

}  // namespace olvex
