// The Task Scheduler as scheduled scans use it: work items listed, opened,
// made and deleted, and each work item's calls one by one, so that every
// failure keeps its own message. Results are HRESULTs (negative: failed).
//
// Three implementations: the system's Task Scheduler 1.0
// (task_scan_scheduler.h), an in-memory store for tests, and a wrapper that
// fails a chosen call (fake_scan_scheduler.h).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "client/main/schedule_rules.h"

namespace olvex {

using SchedulerResult = std::int32_t;
inline constexpr SchedulerResult kSchedulerOk = 0;
inline constexpr SchedulerResult kSchedulerFail = static_cast<SchedulerResult>(0x80004005);
inline constexpr SchedulerResult kSchedulerInvalidArg = static_cast<SchedulerResult>(0x80070057);
inline constexpr SchedulerResult kSchedulerNotFound = static_cast<SchedulerResult>(0x80070002);
inline constexpr bool Succeeded(SchedulerResult result) {
    return result >= 0;
}

// The calls, by name, for the fault-injecting wrapper.
enum class SchedulerCall {
    kCreate,
    kEnum,
    kActivate,
    kNewWorkItem,
    kDelete,
    kSetApplicationName,
    kSetParameters,
    kSetFlags,
    kSetAccountInformation,
    kSetWorkingDirectory,
    kCreateTrigger,
    kSetTrigger,
    kQueryPersist,
    kSave,
    kGetTrigger,
    kGetTriggerRecord,
    kGetParameters,
    kGetFlags,
    kGetAccountInformation,
    kGetTriggerCount,
    kGetTriggerString,
    kDeleteTrigger,
};

// One work item, held open. Release lets go of everything held (the task,
// its trigger and its persistence object); the scheduler's Delete fails
// while any of them is held.
class ScanJob {
  public:
    virtual ~ScanJob() = default;
    virtual SchedulerResult SetApplicationName(const std::string& name) = 0;
    virtual SchedulerResult SetParameters(const std::string& parameters) = 0;
    virtual SchedulerResult SetFlags(std::uint32_t flags) = 0;
    // A null password: the job runs only while the account is logged on.
    virtual SchedulerResult SetAccountInformation(const std::string& account,
                                                  const std::string* password) = 0;
    virtual SchedulerResult SetWorkingDirectory(const std::string& folder) = 0;
    // Makes a new trigger; SetTrigger then fills it in.
    virtual SchedulerResult CreateTrigger() = 0;
    virtual SchedulerResult SetTrigger(const TriggerRecord& trigger) = 0;
    // Takes the trigger of the index; GetTriggerRecord then reads it.
    virtual SchedulerResult GetTrigger(std::uint16_t index) = 0;
    virtual SchedulerResult GetTriggerRecord(TriggerRecord& trigger) = 0;
    virtual SchedulerResult GetParameters(std::string& parameters) = 0;
    virtual SchedulerResult GetFlags(std::uint32_t& flags) = 0;
    virtual SchedulerResult GetAccountInformation(std::string& account) = 0;
    virtual SchedulerResult GetTriggerCount(std::uint16_t& count) = 0;
    virtual SchedulerResult GetTriggerString(std::uint16_t index) = 0;
    virtual SchedulerResult DeleteTrigger(std::uint16_t index) = 0;
    virtual SchedulerResult QueryPersist() = 0;
    virtual SchedulerResult Save() = 0;
    virtual void Release() = 0;
};

// One session with the Task Scheduler; names are work items' names (the
// file names that Enum gives end in ".job").
class ScanScheduler {
  public:
    virtual ~ScanScheduler() = default;
    // Every work item's file name; the enumeration's own result (a failing
    // batch ends the list).
    virtual SchedulerResult Enum(std::vector<std::string>& names) = 0;
    virtual SchedulerResult Activate(const std::string& name, std::unique_ptr<ScanJob>& job) = 0;
    virtual SchedulerResult NewWorkItem(const std::string& name, std::unique_ptr<ScanJob>& job) = 0;
    virtual SchedulerResult Delete(const std::string& name) = 0;
};

// Makes a session; every operation makes its own.
using ScanSchedulerFactory =
    std::function<SchedulerResult(std::unique_ptr<ScanScheduler>& scheduler)>;

}  // namespace olvex
