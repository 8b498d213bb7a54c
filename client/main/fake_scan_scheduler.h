// Task Schedulers for tests: an in-memory store of work items, and a wrapper
// over any scheduler that fails one chosen call (the n-th call of its kind)
// with a chosen result, since the system's scheduler under Wine takes any
// account and fails almost nothing.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "client/main/scan_scheduler.h"

namespace olvex {

// A stored work item.
struct FakeWorkItem {
    std::string application;
    std::string parameters;
    std::string working_directory;
    std::uint32_t flags = 0;
    std::string account;
    std::optional<std::string> password;
    std::vector<TriggerRecord> triggers;
    bool loadable = true;  // false: a damaged file that cannot be activated
};

// Work items by file name ("<name>.job"), in the order made. Activate and
// Delete refuse a name with ".job", as Wine's scheduler does; saved changes
// reach the store, unsaved ones do not; Delete fails while the item is held.
class FakeSchedulerStore {
  public:
    void Put(const std::string& name, FakeWorkItem item);
    const FakeWorkItem* Find(const std::string& name) const;
    std::vector<std::string> Names() const;
    // A session on the store.
    ScanSchedulerFactory Factory();

  private:
    friend class FakeScanScheduler;
    friend class FakeScanJob;
    std::vector<std::pair<std::string, FakeWorkItem>> items_;
    std::map<std::string, int> held_;
};

struct SchedulerFault {
    SchedulerCall call = SchedulerCall::kCreate;
    int occurrence = 1;  // 1: the first call of the kind
    SchedulerResult result = kSchedulerFail;
};

// Counts calls across every session it makes; fails the chosen one.
class FaultInjector {
  public:
    explicit FaultInjector(SchedulerFault fault) : fault_(fault) {}
    // The result for the call: the fault's once it is the chosen one, else
    // what the real call gives.
    bool ShouldFail(SchedulerCall call);
    SchedulerResult result() const { return fault_.result; }
    ScanSchedulerFactory Wrap(ScanSchedulerFactory inner);

  private:
    SchedulerFault fault_;
    std::map<SchedulerCall, int> counts_;
};

// "Name:occurrence:result" ("SetParameters:1:0x80070005"); nullopt when it
// does not parse.
std::optional<SchedulerFault> ParseSchedulerFault(const std::string& text);

}  // namespace olvex
