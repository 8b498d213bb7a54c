// The start-up check that the Windows Task Scheduler runs, which scheduled
// scans need: on Windows 9x the scheduler program (its "System Agent"
// window, else "mstask.exe" from the search path, started), on the NT family
// the "Schedule" service (started when it does not run). The outcome is the
// flag that makes scheduling available for the program's run; each failure
// is told to the user once, through the message function the program gives.
//
// The decision is portable and runs over the platform operations below;
// task_scheduler_service.h has the system's.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace olvex {

// dwPlatformId values of GetVersionEx.
inline constexpr std::uint32_t kPlatformWin32s = 0;
inline constexpr std::uint32_t kPlatformWindows9x = 1;
inline constexpr std::uint32_t kPlatformNt = 2;

// The messages (string ids of the main program) and their sound kinds.
inline constexpr int kSchedulerUnsupportedMessage = 241;
inline constexpr int kSchedulerNotFoundMessage = 242;
inline constexpr int kSchedulerNotStartedMessage = 243;
inline constexpr int kServiceManagerErrorMessage = 244;
inline constexpr int kSchedulerStateUnknownMessage = 245;
inline constexpr int kNoSound = 0;
inline constexpr int kErrorSound = 1;

// Shows the message with the string id and sound kind, and returns once the
// user has closed it.
using ShowMessageFunction = std::function<void(int message_id, int sound_kind)>;

class TaskSchedulerPlatform {
  public:
    virtual ~TaskSchedulerPlatform() = default;

    // Windows 9x: whether the scheduler's window (class "SAGEWINDOWCLASS",
    // title "SYSTEM AGENT COM WINDOW") exists.
    virtual bool SystemAgentWindowExists() = 0;
    // Windows 9x: the full path of "mstask.exe" on the search path.
    virtual std::optional<std::string> FindSchedulerProgram() = 0;
    // Windows 9x: starts the program in a console of its own, without
    // waiting for it; whether it started.
    virtual bool StartSchedulerProgram(const std::string& path) = 0;

    // NT family, one session: connect to the service control manager, open
    // the "Schedule" service (for its status and to start it; the manager is
    // let go at once), ask whether it runs (nullopt: its state cannot be
    // told), start it, wait (bounded) for it to run, and let the service go.
    virtual bool OpenServiceManager() = 0;
    virtual bool OpenScheduleService() = 0;
    virtual std::optional<bool> ScheduleServiceRuns() = 0;
    virtual bool StartScheduleService() = 0;
    virtual void WaitUntilScheduleServiceRuns() = 0;
    virtual void CloseScheduleService() = 0;
};

// Runs the check for the platform id; true when the Task Scheduler runs or
// was started (scheduling available), false after a message.
bool CheckTaskScheduler(std::uint32_t platform_id, TaskSchedulerPlatform& platform,
                        const ShowMessageFunction& show_message);

}  // namespace olvex
