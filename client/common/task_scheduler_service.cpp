#include "client/common/task_scheduler_service.h"

#include <utility>

namespace olvex {

SystemTaskSchedulerPlatform::SystemTaskSchedulerPlatform(std::function<void(DWORD)> sleep)
    : sleep_(std::move(sleep)) {}

SystemTaskSchedulerPlatform::~SystemTaskSchedulerPlatform() {
    CloseScheduleService();
    CloseManager();
}

bool SystemTaskSchedulerPlatform::SystemAgentWindowExists() {
    return FindWindowA("SAGEWINDOWCLASS", "SYSTEM AGENT COM WINDOW") != nullptr;
}

std::optional<std::string> SystemTaskSchedulerPlatform::FindSchedulerProgram() {
    char path[MAX_PATH] = {};
    const DWORD length = SearchPathA(nullptr, "mstask.exe", nullptr, MAX_PATH, path, nullptr);
    if (length == 0 || length >= MAX_PATH)
        return std::nullopt;
    return std::string(path, length);
}

bool SystemTaskSchedulerPlatform::StartSchedulerProgram(const std::string& path) {
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(path.c_str(), nullptr, nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr,
                        nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

bool SystemTaskSchedulerPlatform::OpenServiceManager() {
    CloseManager();
    manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    return manager_ != nullptr;
}

bool SystemTaskSchedulerPlatform::OpenScheduleService() {
    CloseScheduleService();
    if (manager_)
        service_ = OpenServiceA(manager_, "Schedule", SERVICE_QUERY_STATUS | SERVICE_START);
    CloseManager();
    return service_ != nullptr;
}

std::optional<bool> SystemTaskSchedulerPlatform::ScheduleServiceRuns() {
    SERVICE_STATUS status{};
    if (!service_ || !QueryServiceStatus(service_, &status))
        return std::nullopt;
    return status.dwCurrentState == SERVICE_RUNNING;
}

bool SystemTaskSchedulerPlatform::StartScheduleService() {
    return service_ &&
           (StartServiceA(service_, 0, nullptr) || GetLastError() == ERROR_SERVICE_ALREADY_RUNNING);
}

void SystemTaskSchedulerPlatform::WaitUntilScheduleServiceRuns() {
    for (DWORD waited = 0; waited < kStartWaitMs; waited += kStartPollMs) {
        const auto runs = ScheduleServiceRuns();
        if (!runs || *runs)
            return;
        sleep_(kStartPollMs);
    }
}

void SystemTaskSchedulerPlatform::CloseScheduleService() {
    if (service_)
        CloseServiceHandle(std::exchange(service_, nullptr));
}

void SystemTaskSchedulerPlatform::CloseManager() {
    if (manager_)
        CloseServiceHandle(std::exchange(manager_, nullptr));
}

}  // namespace olvex
