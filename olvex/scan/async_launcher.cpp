#include "olvex/scan/async_launcher.h"

#include <new>

#include "olvex/com/com_ptr.h"
#include "olvex/com/engine_class.h"
#include "olvex/scan/async_task_state.h"
#include "olvex/scan/thread_control_object.h"

namespace olvex {

bool AsyncToken::StopRequested() const {
    return state_ && state_->StopRequested();
}

bool AsyncToken::Checkpoint() const {
    return !state_ || state_->Checkpoint();
}

const char* LaunchErrorText(LaunchResult result, const char* no_memory_text) {
    switch (result) {
        case LaunchResult::kStarted:
            break;
        case LaunchResult::kNoMemory:
            return no_memory_text;
        case LaunchResult::kNoThread:
            return kThreadCreationErrorText;
        case LaunchResult::kNoControl:
            return "Error instantiating olvex.ThreadControl";
    }
    return nullptr;
}

namespace {

// What the thread procedure receives; it owns and destroys it.
struct Launch {
    ComApartment apartment = ComApartment::kMultiThreaded;
    AsyncWork work;
    std::shared_ptr<AsyncTaskState> state;
    HMODULE pinned_module = nullptr;
};

DWORD WINAPI AsyncThreadMain(void* parameter);

// A reference on the module this code lives in, so that a client releasing
// its last engine object cannot unload the engine under a running worker.
HMODULE PinThisModule() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&AsyncThreadMain), &module)) {
        return nullptr;
    }
    return module;
}

void RunInApartment(Launch& launch) {
    const DWORD model = launch.apartment == ComApartment::kSingleThreaded ? COINIT_APARTMENTTHREADED
                                                                          : COINIT_MULTITHREADED;
    const HRESULT entered = CoInitializeEx(nullptr, model);
    try {
        launch.work(AsyncToken(launch.state));
    } catch (...) {
        // Nothing may leave a thread procedure; the worker reports its own
        // failures through its object's last error.
    }
    // The work's captures (references to engine objects and the client's
    // callback) go before the apartment does.
    launch.work = nullptr;
    if (SUCCEEDED(entered)) {
        CoUninitialize();
    }
}

DWORD WINAPI AsyncThreadMain(void* parameter) {
    HMODULE pinned = nullptr;
    {
        std::unique_ptr<Launch> launch(static_cast<Launch*>(parameter));
        pinned = launch->pinned_module;
        RunInApartment(*launch);
    }
    if (pinned != nullptr) {
        FreeLibraryAndExitThread(pinned, 0);
    }
    return 0;
}

}  // namespace

LaunchResult LaunchAsync(ComApartment apartment, AsyncWork work, IThreadControl** control) {
    if (control) {
        *control = nullptr;
    }
    std::unique_ptr<Launch> launch(new (std::nothrow) Launch);
    if (!launch) {
        return LaunchResult::kNoMemory;
    }
    try {
        launch->state = std::make_shared<AsyncTaskState>();
    } catch (const std::bad_alloc&) {
        return LaunchResult::kNoMemory;
    }
    launch->apartment = apartment;
    launch->work = std::move(work);
    launch->pinned_module = PinThisModule();
    const std::shared_ptr<AsyncTaskState> state = launch->state;

    DWORD thread_id = 0;
    win::UniqueHandle thread(
        CreateThread(nullptr, 0, AsyncThreadMain, launch.get(), 0, &thread_id));
    if (!thread) {
        if (launch->pinned_module != nullptr) {
            FreeLibrary(launch->pinned_module);
        }
        return LaunchResult::kNoThread;
    }
    launch.release();  // the thread owns it now

    com::ComPtr<IThreadControl> made;
    if (!control || FAILED(com::CreateEngineObject(CLSID_ThreadControl, made.Put()))) {
        return LaunchResult::kNoControl;  // the thread runs on; its handle closes here
    }
    // Made by this module's own class factory, so it is ours.
    static_cast<CThreadControl*>(made.Get())->Attach(std::move(thread), thread_id, state);
    *control = made.Detach();
    return LaunchResult::kStarted;
}

}  // namespace olvex
