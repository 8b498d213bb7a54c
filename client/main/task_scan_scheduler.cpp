#include "client/main/task_scan_scheduler.h"

#include <windows.h>
#include <mstask.h>
#include <objbase.h>

#include <cstddef>
#include <cstring>
#include <optional>
#include <utility>

#include "olvex/com/com_ptr.h"

namespace olvex {
namespace {

static_assert(sizeof(TASK_TRIGGER) == sizeof(TriggerRecord));
static_assert(offsetof(TASK_TRIGGER, wStartHour) == offsetof(TriggerRecord, wStartHour));
static_assert(offsetof(TASK_TRIGGER, TriggerType) == offsetof(TriggerRecord, TriggerType));
static_assert(offsetof(TASK_TRIGGER, Type) == offsetof(TriggerRecord, Type));
static_assert(offsetof(TASK_TRIGGER, wRandomMinutesInterval) ==
              offsetof(TriggerRecord, wRandomMinutesInterval));

// The whole text in UTF-16 within the limit; nullopt otherwise.
std::optional<std::wstring> Wide(const std::string& text, std::size_t limit) {
    if (text.empty())
        return std::wstring();
    const int length =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0 || static_cast<std::size_t>(length) > limit)
        return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

// A text the scheduler gave, freed here; nullopt when longer than the limit.
std::optional<std::string> TakeAnsi(LPWSTR text, std::size_t limit) {
    std::optional<std::string> ansi;
    if (text == nullptr)
        return std::string();
    const int length = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length > 0 && static_cast<std::size_t>(length - 1) <= limit) {
        std::string converted(static_cast<std::size_t>(length), '\0');
        WideCharToMultiByte(CP_ACP, 0, text, -1, converted.data(), length, nullptr, nullptr);
        converted.resize(static_cast<std::size_t>(length - 1));
        ansi = std::move(converted);
    }
    CoTaskMemFree(text);
    return ansi;
}

class SystemScanJob final : public ScanJob {
  public:
    explicit SystemScanJob(ITask* task) { *task_.Put() = task; }

    SchedulerResult SetApplicationName(const std::string& name) override {
        const auto wide = Wide(name, 127);
        return wide ? task_->SetApplicationName(wide->c_str()) : E_INVALIDARG;
    }
    SchedulerResult SetParameters(const std::string& parameters) override {
        const auto wide = Wide(parameters, kMaxParameters);
        return wide ? task_->SetParameters(wide->c_str()) : E_INVALIDARG;
    }
    SchedulerResult SetFlags(std::uint32_t flags) override { return task_->SetFlags(flags); }
    SchedulerResult SetAccountInformation(const std::string& account,
                                          const std::string* password) override {
        const auto wide_account = Wide(account, kMaxAccount);
        if (!wide_account)
            return E_INVALIDARG;
        if (password == nullptr)
            return task_->SetAccountInformation(wide_account->c_str(), nullptr);
        const auto wide_password = Wide(*password, kMaxPassword);
        if (!wide_password)
            return E_INVALIDARG;
        return task_->SetAccountInformation(wide_account->c_str(), wide_password->c_str());
    }
    SchedulerResult SetWorkingDirectory(const std::string& folder) override {
        const auto wide = Wide(folder, kMaxWorkingDirectory);
        return wide ? task_->SetWorkingDirectory(wide->c_str()) : E_INVALIDARG;
    }
    SchedulerResult CreateTrigger() override {
        WORD index = 0;
        return task_->CreateTrigger(&index, trigger_.Put());
    }
    SchedulerResult SetTrigger(const TriggerRecord& record) override {
        if (!trigger_)
            return E_POINTER;
        TASK_TRIGGER trigger{};
        static_assert(sizeof(trigger) == sizeof(record));
        std::memcpy(&trigger, &record, sizeof(trigger));
        const HRESULT result = trigger_->SetTrigger(&trigger);
        trigger_.Reset();
        return result;
    }
    SchedulerResult GetTrigger(std::uint16_t index) override {
        return task_->GetTrigger(index, trigger_.Put());
    }
    SchedulerResult GetTriggerRecord(TriggerRecord& record) override {
        if (!trigger_)
            return E_POINTER;
        TASK_TRIGGER trigger{};
        trigger.cbTriggerSize = sizeof(trigger);
        const HRESULT result = trigger_->GetTrigger(&trigger);
        trigger_.Reset();
        if (SUCCEEDED(result))
            std::memcpy(static_cast<void*>(&record), &trigger, sizeof(trigger));
        return result;
    }
    SchedulerResult GetParameters(std::string& parameters) override {
        LPWSTR text = nullptr;
        const HRESULT result = task_->GetParameters(&text);
        if (FAILED(result))
            return result;
        const auto ansi = TakeAnsi(text, kMaxParameters);
        if (!ansi)
            return E_INVALIDARG;
        parameters = *ansi;
        return result;
    }
    SchedulerResult GetFlags(std::uint32_t& flags) override {
        DWORD value = 0;
        const HRESULT result = task_->GetFlags(&value);
        flags = value;
        return result;
    }
    SchedulerResult GetAccountInformation(std::string& account) override {
        LPWSTR text = nullptr;
        const HRESULT result = task_->GetAccountInformation(&text);
        if (FAILED(result))
            return result;
        const auto ansi = TakeAnsi(text, kMaxAccount);
        if (!ansi)
            return E_INVALIDARG;
        account = *ansi;
        return result;
    }
    SchedulerResult GetTriggerCount(std::uint16_t& count) override {
        WORD value = 0;
        const HRESULT result = task_->GetTriggerCount(&value);
        count = value;
        return result;
    }
    SchedulerResult GetTriggerString(std::uint16_t index) override {
        LPWSTR text = nullptr;
        const HRESULT result = task_->GetTriggerString(index, &text);
        if (text != nullptr)
            CoTaskMemFree(text);
        return result;
    }
    SchedulerResult DeleteTrigger(std::uint16_t index) override {
        return task_->DeleteTrigger(index);
    }
    SchedulerResult QueryPersist() override {
        return task_->QueryInterface(IID_IPersistFile, persist_.PutVoid());
    }
    SchedulerResult Save() override { return persist_ ? persist_->Save(nullptr, TRUE) : E_POINTER; }
    void Release() override {
        trigger_.Reset();
        persist_.Reset();
        task_.Reset();
    }

  private:
    com::ComPtr<ITask> task_;
    com::ComPtr<ITaskTrigger> trigger_;
    com::ComPtr<IPersistFile> persist_;
};

class SystemScanScheduler final : public ScanScheduler {
  public:
    explicit SystemScanScheduler(ITaskScheduler* scheduler) { *scheduler_.Put() = scheduler; }

    SchedulerResult Enum(std::vector<std::string>& names) override {
        com::ComPtr<IEnumWorkItems> items;
        const HRESULT result = scheduler_->Enum(items.Put());
        if (FAILED(result))
            return result;
        for (;;) {
            LPWSTR* batch = nullptr;
            ULONG fetched = 0;
            if (FAILED(items->Next(10, &batch, &fetched)) || fetched == 0 || batch == nullptr) {
                if (batch != nullptr)
                    CoTaskMemFree(batch);
                break;
            }
            // Every name is freed, with the program's prefix or not.
            for (ULONG i = 0; i < fetched; ++i) {
                if (auto name = TakeAnsi(batch[i], 1023))
                    names.push_back(std::move(*name));
            }
            CoTaskMemFree(batch);
        }
        return result;
    }
    SchedulerResult Activate(const std::string& name, std::unique_ptr<ScanJob>& job) override {
        const auto wide = Wide(name, kMaxJobName);
        if (!wide)
            return E_INVALIDARG;
        ITask* task = nullptr;
        const HRESULT result =
            scheduler_->Activate(wide->c_str(), IID_ITask, reinterpret_cast<IUnknown**>(&task));
        if (SUCCEEDED(result) && task != nullptr)
            job = std::make_unique<SystemScanJob>(task);
        return result;
    }
    SchedulerResult NewWorkItem(const std::string& name, std::unique_ptr<ScanJob>& job) override {
        const auto wide = Wide(name, kMaxJobName);
        if (!wide)
            return E_INVALIDARG;
        ITask* task = nullptr;
        const HRESULT result = scheduler_->NewWorkItem(wide->c_str(), CLSID_CTask, IID_ITask,
                                                       reinterpret_cast<IUnknown**>(&task));
        if (SUCCEEDED(result) && task != nullptr)
            job = std::make_unique<SystemScanJob>(task);
        return result;
    }
    SchedulerResult Delete(const std::string& name) override {
        const auto wide = Wide(name, kMaxJobName);
        return wide ? scheduler_->Delete(wide->c_str()) : E_INVALIDARG;
    }

  private:
    com::ComPtr<ITaskScheduler> scheduler_;
};

ScanSchedulerFactory& Factory() {
    static ScanSchedulerFactory factory = CreateSystemScanScheduler;
    return factory;
}

}  // namespace

SchedulerResult CreateSystemScanScheduler(std::unique_ptr<ScanScheduler>& scheduler) {
    ITaskScheduler* created = nullptr;
    const HRESULT result = CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_ITaskScheduler, reinterpret_cast<void**>(&created));
    if (SUCCEEDED(result) && created != nullptr)
        scheduler = std::make_unique<SystemScanScheduler>(created);
    return result;
}

ScanSchedulerFactory CurrentScanSchedulerFactory() {
    return Factory();
}

void SetScanSchedulerFactory(ScanSchedulerFactory factory) {
    Factory() = std::move(factory);
}

}  // namespace olvex
