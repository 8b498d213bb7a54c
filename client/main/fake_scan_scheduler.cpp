#include "client/main/fake_scan_scheduler.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace olvex {
namespace {

bool HasJobExtension(const std::string& name) {
    return BareJobName(name) != name;
}

}  // namespace

class FakeScanJob final : public ScanJob {
  public:
    FakeScanJob(FakeSchedulerStore& store, std::string file_name, FakeWorkItem item)
        : store_(store), file_name_(std::move(file_name)), item_(std::move(item)) {
        ++store_.held_[file_name_];
    }
    ~FakeScanJob() override { Release(); }

    SchedulerResult SetApplicationName(const std::string& name) override {
        item_.application = name;
        return kSchedulerOk;
    }
    SchedulerResult SetParameters(const std::string& parameters) override {
        item_.parameters = parameters;
        return kSchedulerOk;
    }
    SchedulerResult SetFlags(std::uint32_t flags) override {
        item_.flags = flags;
        return kSchedulerOk;
    }
    SchedulerResult SetAccountInformation(const std::string& account,
                                          const std::string* password) override {
        item_.account = account;
        item_.password = password ? std::optional<std::string>(*password) : std::nullopt;
        return kSchedulerOk;
    }
    SchedulerResult SetWorkingDirectory(const std::string& folder) override {
        item_.working_directory = folder;
        return kSchedulerOk;
    }
    SchedulerResult CreateTrigger() override {
        item_.triggers.emplace_back();
        trigger_ = item_.triggers.size() - 1;
        return kSchedulerOk;
    }
    SchedulerResult SetTrigger(const TriggerRecord& trigger) override {
        if (!trigger_)
            return kSchedulerFail;
        item_.triggers[*trigger_] = trigger;
        trigger_.reset();
        return kSchedulerOk;
    }
    SchedulerResult GetTrigger(std::uint16_t index) override {
        if (index >= item_.triggers.size())
            return kSchedulerInvalidArg;
        trigger_ = index;
        return kSchedulerOk;
    }
    SchedulerResult GetTriggerRecord(TriggerRecord& trigger) override {
        if (!trigger_)
            return kSchedulerFail;
        trigger = item_.triggers[*trigger_];
        trigger_.reset();
        return kSchedulerOk;
    }
    SchedulerResult GetParameters(std::string& parameters) override {
        parameters = item_.parameters;
        return kSchedulerOk;
    }
    SchedulerResult GetFlags(std::uint32_t& flags) override {
        flags = item_.flags;
        return kSchedulerOk;
    }
    SchedulerResult GetAccountInformation(std::string& account) override {
        account = item_.account;
        return kSchedulerOk;
    }
    SchedulerResult GetTriggerCount(std::uint16_t& count) override {
        count = static_cast<std::uint16_t>(item_.triggers.size());
        return kSchedulerOk;
    }
    SchedulerResult GetTriggerString(std::uint16_t index) override {
        return index < item_.triggers.size() ? kSchedulerOk : kSchedulerInvalidArg;
    }
    SchedulerResult DeleteTrigger(std::uint16_t index) override {
        if (index >= item_.triggers.size())
            return kSchedulerInvalidArg;
        item_.triggers.erase(item_.triggers.begin() + index);
        return kSchedulerOk;
    }
    SchedulerResult QueryPersist() override { return kSchedulerOk; }
    SchedulerResult Save() override {
        if (released_)
            return kSchedulerFail;
        store_.Put(file_name_, item_);
        return kSchedulerOk;
    }
    void Release() override {
        if (released_)
            return;
        released_ = true;
        if (--store_.held_[file_name_] == 0)
            store_.held_.erase(file_name_);
    }

  private:
    FakeSchedulerStore& store_;
    std::string file_name_;
    FakeWorkItem item_;
    std::optional<std::size_t> trigger_;
    bool released_ = false;
};

class FakeScanScheduler final : public ScanScheduler {
  public:
    explicit FakeScanScheduler(FakeSchedulerStore& store) : store_(store) {}

    SchedulerResult Enum(std::vector<std::string>& names) override {
        names = store_.Names();
        return kSchedulerOk;
    }
    SchedulerResult Activate(const std::string& name, std::unique_ptr<ScanJob>& job) override {
        if (HasJobExtension(name))
            return kSchedulerInvalidArg;
        const std::string file = name + kScanJobExtension;
        const FakeWorkItem* item = store_.Find(file);
        if (item == nullptr || !item->loadable)
            return kSchedulerNotFound;
        job = std::make_unique<FakeScanJob>(store_, file, *item);
        return kSchedulerOk;
    }
    SchedulerResult NewWorkItem(const std::string& name, std::unique_ptr<ScanJob>& job) override {
        // An existing name is taken as it is, as the system's scheduler does.
        job = std::make_unique<FakeScanJob>(store_, name + kScanJobExtension, FakeWorkItem{});
        return kSchedulerOk;
    }
    SchedulerResult Delete(const std::string& name) override {
        if (HasJobExtension(name))
            return kSchedulerInvalidArg;
        const std::string file = name + kScanJobExtension;
        if (store_.held_.count(file) != 0)
            return static_cast<SchedulerResult>(0x80070020);  // sharing violation
        auto& items = store_.items_;
        const auto found = std::find_if(items.begin(), items.end(),
                                        [&](const auto& entry) { return entry.first == file; });
        if (found == items.end())
            return kSchedulerNotFound;
        items.erase(found);
        return kSchedulerOk;
    }

  private:
    FakeSchedulerStore& store_;
};

void FakeSchedulerStore::Put(const std::string& name, FakeWorkItem item) {
    for (auto& entry : items_) {
        if (entry.first == name) {
            entry.second = std::move(item);
            return;
        }
    }
    items_.emplace_back(name, std::move(item));
}

const FakeWorkItem* FakeSchedulerStore::Find(const std::string& name) const {
    for (const auto& entry : items_) {
        if (entry.first == name)
            return &entry.second;
    }
    return nullptr;
}

std::vector<std::string> FakeSchedulerStore::Names() const {
    std::vector<std::string> names;
    for (const auto& entry : items_)
        names.push_back(entry.first);
    return names;
}

ScanSchedulerFactory FakeSchedulerStore::Factory() {
    return [this](std::unique_ptr<ScanScheduler>& scheduler) {
        scheduler = std::make_unique<FakeScanScheduler>(*this);
        return kSchedulerOk;
    };
}

// The wrapper: each call asks the injector first.
namespace {

class FaultyScanJob final : public ScanJob {
  public:
    FaultyScanJob(FaultInjector& faults, std::unique_ptr<ScanJob> inner)
        : faults_(faults), inner_(std::move(inner)) {}

#define OLVEX_FAULTY_CALL(kind, call)            \
    if (faults_.ShouldFail(SchedulerCall::kind)) \
        return faults_.result();                 \
    return inner_->call

    SchedulerResult SetApplicationName(const std::string& name) override {
        OLVEX_FAULTY_CALL(kSetApplicationName, SetApplicationName(name));
    }
    SchedulerResult SetParameters(const std::string& parameters) override {
        OLVEX_FAULTY_CALL(kSetParameters, SetParameters(parameters));
    }
    SchedulerResult SetFlags(std::uint32_t flags) override {
        OLVEX_FAULTY_CALL(kSetFlags, SetFlags(flags));
    }
    SchedulerResult SetAccountInformation(const std::string& account,
                                          const std::string* password) override {
        OLVEX_FAULTY_CALL(kSetAccountInformation, SetAccountInformation(account, password));
    }
    SchedulerResult SetWorkingDirectory(const std::string& folder) override {
        OLVEX_FAULTY_CALL(kSetWorkingDirectory, SetWorkingDirectory(folder));
    }
    SchedulerResult CreateTrigger() override {
        OLVEX_FAULTY_CALL(kCreateTrigger, CreateTrigger());
    }
    SchedulerResult SetTrigger(const TriggerRecord& trigger) override {
        OLVEX_FAULTY_CALL(kSetTrigger, SetTrigger(trigger));
    }
    SchedulerResult GetTrigger(std::uint16_t index) override {
        OLVEX_FAULTY_CALL(kGetTrigger, GetTrigger(index));
    }
    SchedulerResult GetTriggerRecord(TriggerRecord& trigger) override {
        OLVEX_FAULTY_CALL(kGetTriggerRecord, GetTriggerRecord(trigger));
    }
    SchedulerResult GetParameters(std::string& parameters) override {
        OLVEX_FAULTY_CALL(kGetParameters, GetParameters(parameters));
    }
    SchedulerResult GetFlags(std::uint32_t& flags) override {
        OLVEX_FAULTY_CALL(kGetFlags, GetFlags(flags));
    }
    SchedulerResult GetAccountInformation(std::string& account) override {
        OLVEX_FAULTY_CALL(kGetAccountInformation, GetAccountInformation(account));
    }
    SchedulerResult GetTriggerCount(std::uint16_t& count) override {
        OLVEX_FAULTY_CALL(kGetTriggerCount, GetTriggerCount(count));
    }
    SchedulerResult GetTriggerString(std::uint16_t index) override {
        OLVEX_FAULTY_CALL(kGetTriggerString, GetTriggerString(index));
    }
    SchedulerResult DeleteTrigger(std::uint16_t index) override {
        OLVEX_FAULTY_CALL(kDeleteTrigger, DeleteTrigger(index));
    }
    SchedulerResult QueryPersist() override {
        OLVEX_FAULTY_CALL(kQueryPersist, QueryPersist());
    }
    SchedulerResult Save() override {
        OLVEX_FAULTY_CALL(kSave, Save());
    }
    void Release() override {
        inner_->Release();
    }

  private:
    FaultInjector& faults_;
    std::unique_ptr<ScanJob> inner_;
};

class FaultyScanScheduler final : public ScanScheduler {
  public:
    FaultyScanScheduler(FaultInjector& faults, std::unique_ptr<ScanScheduler> inner)
        : faults_(faults), inner_(std::move(inner)) {}

    SchedulerResult Enum(std::vector<std::string>& names) override {
        OLVEX_FAULTY_CALL(kEnum, Enum(names));
    }
    SchedulerResult Activate(const std::string& name, std::unique_ptr<ScanJob>& job) override {
        if (faults_.ShouldFail(SchedulerCall::kActivate))
            return faults_.result();
        return Wrapped(inner_->Activate(name, job), job);
    }
    SchedulerResult NewWorkItem(const std::string& name, std::unique_ptr<ScanJob>& job) override {
        if (faults_.ShouldFail(SchedulerCall::kNewWorkItem))
            return faults_.result();
        return Wrapped(inner_->NewWorkItem(name, job), job);
    }
    SchedulerResult Delete(const std::string& name) override {
        OLVEX_FAULTY_CALL(kDelete, Delete(name));
    }
#undef OLVEX_FAULTY_CALL

  private:
    SchedulerResult Wrapped(SchedulerResult result, std::unique_ptr<ScanJob>& job) {
        if (job)
            job = std::make_unique<FaultyScanJob>(faults_, std::move(job));
        return result;
    }

    FaultInjector& faults_;
    std::unique_ptr<ScanScheduler> inner_;
};

struct CallName {
    SchedulerCall call;
    const char* name;
};
constexpr CallName kCallNames[] = {
    {SchedulerCall::kCreate, "Create"},
    {SchedulerCall::kEnum, "Enum"},
    {SchedulerCall::kActivate, "Activate"},
    {SchedulerCall::kNewWorkItem, "NewWorkItem"},
    {SchedulerCall::kDelete, "Delete"},
    {SchedulerCall::kSetApplicationName, "SetApplicationName"},
    {SchedulerCall::kSetParameters, "SetParameters"},
    {SchedulerCall::kSetFlags, "SetFlags"},
    {SchedulerCall::kSetAccountInformation, "SetAccountInformation"},
    {SchedulerCall::kSetWorkingDirectory, "SetWorkingDirectory"},
    {SchedulerCall::kCreateTrigger, "CreateTrigger"},
    {SchedulerCall::kSetTrigger, "SetTrigger"},
    {SchedulerCall::kQueryPersist, "QueryPersist"},
    {SchedulerCall::kSave, "Save"},
    {SchedulerCall::kGetTrigger, "GetTrigger"},
    {SchedulerCall::kGetTriggerRecord, "GetTriggerRecord"},
    {SchedulerCall::kGetParameters, "GetParameters"},
    {SchedulerCall::kGetFlags, "GetFlags"},
    {SchedulerCall::kGetAccountInformation, "GetAccountInformation"},
    {SchedulerCall::kGetTriggerCount, "GetTriggerCount"},
    {SchedulerCall::kGetTriggerString, "GetTriggerString"},
    {SchedulerCall::kDeleteTrigger, "DeleteTrigger"},
};

}  // namespace

bool FaultInjector::ShouldFail(SchedulerCall call) {
    return call == fault_.call && ++counts_[call] == fault_.occurrence;
}

ScanSchedulerFactory FaultInjector::Wrap(ScanSchedulerFactory inner) {
    return [this, inner = std::move(inner)](std::unique_ptr<ScanScheduler>& scheduler) {
        if (ShouldFail(SchedulerCall::kCreate))
            return result();
        std::unique_ptr<ScanScheduler> real;
        const SchedulerResult created = inner(real);
        if (real)
            scheduler = std::make_unique<FaultyScanScheduler>(*this, std::move(real));
        return created;
    };
}

std::optional<SchedulerFault> ParseSchedulerFault(const std::string& text) {
    const std::size_t first = text.find(':');
    const std::size_t second = first == std::string::npos ? first : text.find(':', first + 1);
    if (second == std::string::npos)
        return std::nullopt;
    const std::string name = text.substr(0, first);
    for (const CallName& entry : kCallNames) {
        if (name != entry.name)
            continue;
        SchedulerFault fault;
        fault.call = entry.call;
        char* end = nullptr;
        const std::string occurrence = text.substr(first + 1, second - first - 1);
        fault.occurrence = static_cast<int>(std::strtol(occurrence.c_str(), &end, 10));
        if (end == occurrence.c_str() || *end != '\0' || fault.occurrence < 1)
            return std::nullopt;
        const std::string result = text.substr(second + 1);
        // Wide enough to see a value past 32 bits, where long is 32 bits too.
        const unsigned long long value = std::strtoull(result.c_str(), &end, 0);
        if (end == result.c_str() || *end != '\0' || value > 0xFFFFFFFFull)
            return std::nullopt;
        fault.result = static_cast<SchedulerResult>(static_cast<std::uint32_t>(value));
        return fault;
    }
    return std::nullopt;
}

}  // namespace olvex
