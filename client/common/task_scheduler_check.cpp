#include "client/common/task_scheduler_check.h"

namespace olvex {
namespace {

bool Fail(const ShowMessageFunction& show_message, int message, int sound) {
    if (show_message)
        show_message(message, sound);
    return false;
}

bool CheckWindows9x(TaskSchedulerPlatform& platform, const ShowMessageFunction& show_message) {
    if (platform.SystemAgentWindowExists())
        return true;
    const auto program = platform.FindSchedulerProgram();
    if (!program)
        return Fail(show_message, kSchedulerNotFoundMessage, kErrorSound);
    // Only the service's failed start is told without a sound.
    if (!platform.StartSchedulerProgram(*program))
        return Fail(show_message, kSchedulerNotStartedMessage, kErrorSound);
    return true;
}

bool CheckScheduleService(TaskSchedulerPlatform& platform,
                          const ShowMessageFunction& show_message) {
    if (!platform.OpenServiceManager())
        return Fail(show_message, kServiceManagerErrorMessage, kErrorSound);
    if (!platform.OpenScheduleService())
        return Fail(show_message, kSchedulerNotFoundMessage, kErrorSound);
    const auto runs = platform.ScheduleServiceRuns();
    if (!runs) {
        platform.CloseScheduleService();
        return Fail(show_message, kSchedulerStateUnknownMessage, kErrorSound);
    }
    if (*runs) {
        platform.CloseScheduleService();
        return true;
    }
    // Starting, paused and stopping services are started the same way.
    if (!platform.StartScheduleService()) {
        platform.CloseScheduleService();
        return Fail(show_message, kSchedulerNotStartedMessage, kNoSound);
    }
    // A service that has just been started may need a moment before it
    // takes jobs; it counts as available either way.
    platform.WaitUntilScheduleServiceRuns();
    platform.CloseScheduleService();
    return true;
}

}  // namespace

bool CheckTaskScheduler(std::uint32_t platform_id, TaskSchedulerPlatform& platform,
                        const ShowMessageFunction& show_message) {
    switch (platform_id) {
        case kPlatformWin32s:
            return Fail(show_message, kSchedulerUnsupportedMessage, kErrorSound);
        case kPlatformWindows9x:
            return CheckWindows9x(platform, show_message);
        default:
            return CheckScheduleService(platform, show_message);
    }
}

}  // namespace olvex
