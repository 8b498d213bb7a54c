// jobs.exe: the Task Scheduler 1.0 store for tests, which Wine's schtasks
// does not see.
//
//   jobs list                       every work item's name, one a line
//   jobs show NAME                  its settings, "key: value" lines:
//                                   application, parameters, directory,
//                                   flags (0x...), account, status, exit
//                                   code, triggers, and for
//                                   each trigger "trigger N: type T every D
//                                   from YYYY-MM-DD at HH:MM"
//   jobs run NAME                   runs it now (ITask::Run)
//   jobs delete NAME                deletes it
//   jobs plant NAME HH:MM [APPLICATION [PARAMETERS [ACCOUNT]]]
//                                   makes a work item with one daily trigger
//                                   (with an account, it runs as that
//                                   account, password "pw"; "*": only while
//                                   the user is logged on, flags 0x2002)
//
// NAME is the work item's name without ".job". Exit code 0 on success, 1
// when the scheduler refused, 2 for a wrong command line.
#include <windows.h>
#include <mstask.h>
#include <objbase.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

template <class T>
struct Released {
    T* p = nullptr;
    ~Released() {
        if (p != nullptr)
            p->Release();
    }
    T* operator->() const { return p; }
};

int Fail(const wchar_t* what, HRESULT result) {
    std::fwprintf(stderr, L"%ls failed: 0x%08lX\n", what, static_cast<unsigned long>(result));
    return 1;
}

int List(ITaskScheduler* scheduler) {
    Released<IEnumWorkItems> items;
    const HRESULT result = scheduler->Enum(&items.p);
    if (FAILED(result))
        return Fail(L"Enum", result);
    for (;;) {
        LPWSTR* names = nullptr;
        ULONG fetched = 0;
        if (FAILED(items->Next(10, &names, &fetched)) || fetched == 0) {
            CoTaskMemFree(names);
            return 0;
        }
        for (ULONG i = 0; i < fetched; ++i) {
            std::wprintf(L"%ls\n", names[i]);
            CoTaskMemFree(names[i]);
        }
        CoTaskMemFree(names);
    }
}

void PrintText(const wchar_t* key, HRESULT result, LPWSTR text) {
    std::wprintf(L"%ls: %ls\n", key, SUCCEEDED(result) && text != nullptr ? text : L"");
    CoTaskMemFree(text);
}

int Show(ITask* task) {
    LPWSTR text = nullptr;
    HRESULT result = task->GetApplicationName(&text);
    PrintText(L"application", result, text);
    text = nullptr;
    result = task->GetParameters(&text);
    PrintText(L"parameters", result, text);
    text = nullptr;
    result = task->GetWorkingDirectory(&text);
    PrintText(L"directory", result, text);
    DWORD flags = 0;
    task->GetFlags(&flags);
    std::wprintf(L"flags: 0x%lX\n", static_cast<unsigned long>(flags));
    text = nullptr;
    result = task->GetAccountInformation(&text);
    PrintText(L"account", result, text);
    HRESULT status = 0;
    task->GetStatus(&status);
    DWORD exit_code = 0;
    const HRESULT exit_result = task->GetExitCode(&exit_code);
    std::wprintf(L"status: 0x%08lX\nexit code: 0x%08lX (0x%08lX)\n",
                 static_cast<unsigned long>(status), static_cast<unsigned long>(exit_code),
                 static_cast<unsigned long>(exit_result));
    WORD count = 0;
    task->GetTriggerCount(&count);
    std::wprintf(L"triggers: %u\n", count);
    for (WORD i = 0; i < count; ++i) {
        Released<ITaskTrigger> trigger;
        TASK_TRIGGER record{};
        record.cbTriggerSize = sizeof(record);
        if (FAILED(task->GetTrigger(i, &trigger.p)) || FAILED(trigger->GetTrigger(&record)))
            continue;
        std::wprintf(L"trigger %u: type %d every %u from %04u-%02u-%02u at %02u:%02u\n", i,
                     static_cast<int>(record.TriggerType), record.Type.Daily.DaysInterval,
                     record.wBeginYear, record.wBeginMonth, record.wBeginDay, record.wStartHour,
                     record.wStartMinute);
    }
    return 0;
}

int Plant(ITaskScheduler* scheduler, const wchar_t* name, const wchar_t* time,
          const wchar_t* application, const wchar_t* parameters, const wchar_t* account) {
    unsigned hour = 0;
    unsigned minute = 0;
    if (std::swscanf(time, L"%u:%u", &hour, &minute) != 2 || hour > 23 || minute > 59)
        return 2;
    Released<ITask> task;
    HRESULT result =
        scheduler->NewWorkItem(name, CLSID_CTask, IID_ITask, reinterpret_cast<IUnknown**>(&task.p));
    if (FAILED(result))
        return Fail(L"NewWorkItem", result);
    task->SetApplicationName(application);
    task->SetParameters(parameters);
    const bool logged_on = account != nullptr && std::wstring(account) == L"*";
    task->SetFlags(TASK_FLAG_DELETE_WHEN_DONE | (logged_on ? TASK_FLAG_RUN_ONLY_IF_LOGGED_ON : 0));
    if (account != nullptr && !logged_on)
        task->SetAccountInformation(account, L"pw");
    WORD index = 0;
    Released<ITaskTrigger> trigger;
    result = task->CreateTrigger(&index, &trigger.p);
    if (FAILED(result))
        return Fail(L"CreateTrigger", result);
    SYSTEMTIME today{};
    GetLocalTime(&today);
    TASK_TRIGGER record{};
    record.cbTriggerSize = sizeof(record);
    record.wBeginYear = today.wYear;
    record.wBeginMonth = today.wMonth;
    record.wBeginDay = today.wDay;
    record.wStartHour = static_cast<WORD>(hour);
    record.wStartMinute = static_cast<WORD>(minute);
    record.TriggerType = TASK_TIME_TRIGGER_DAILY;
    record.Type.Daily.DaysInterval = 1;
    result = trigger->SetTrigger(&record);
    if (FAILED(result))
        return Fail(L"SetTrigger", result);
    Released<IPersistFile> persist;
    result = task->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist.p));
    if (FAILED(result))
        return Fail(L"QueryInterface", result);
    result = persist->Save(nullptr, TRUE);
    return FAILED(result) ? Fail(L"Save", result) : 0;
}

int Run(int argc, wchar_t** argv) {
    if (argc < 2)
        return 2;
    const std::wstring command = argv[1];
    Released<ITaskScheduler> scheduler;
    HRESULT result = CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_ITaskScheduler, reinterpret_cast<void**>(&scheduler.p));
    if (FAILED(result))
        return Fail(L"CoCreateInstance", result);
    if (command == L"list")
        return List(scheduler.p);
    if (argc < 3)
        return 2;
    const wchar_t* name = argv[2];
    if (command == L"delete") {
        result = scheduler->Delete(name);
        return FAILED(result) ? Fail(L"Delete", result) : 0;
    }
    if (command == L"plant") {
        if (argc < 4)
            return 2;
        return Plant(scheduler.p, name, argv[3], argc > 4 ? argv[4] : L"notepad.exe",
                     argc > 5 ? argv[5] : L"", argc > 6 ? argv[6] : nullptr);
    }
    Released<ITask> task;
    result = scheduler->Activate(name, IID_ITask, reinterpret_cast<IUnknown**>(&task.p));
    if (FAILED(result))
        return Fail(L"Activate", result);
    if (command == L"show")
        return Show(task.p);
    if (command == L"run") {
        result = task->Run();
        return FAILED(result) ? Fail(L"Run", result) : 0;
    }
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    CoInitialize(nullptr);
    const int code = Run(argc, argv);
    CoUninitialize();
    return code;
}
