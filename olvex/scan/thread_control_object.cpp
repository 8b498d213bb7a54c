#include "olvex/scan/thread_control_object.h"

#include "olvex/com/bstr.h"
#include "olvex/scan/async_task_state.h"

namespace olvex {

void CThreadControl::Attach(win::UniqueHandle thread, DWORD thread_id,
                            std::shared_ptr<AsyncTaskState> state) {
    thread_ = std::move(thread);
    thread_id_ = thread_id;
    state_ = std::move(state);
}

bool CThreadControl::OnWorkerThread() const {
    return thread_id_ != 0 && GetCurrentThreadId() == thread_id_;
}

HRESULT STDMETHODCALLTYPE CThreadControl::Pause() {
    if (state_) {
        state_->Pause();
    } else if (thread_) {
        SuspendThread(thread_.get());
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CThreadControl::Resume() {
    if (state_) {
        state_->Resume();
    } else if (thread_) {
        ResumeThread(thread_.get());
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CThreadControl::Stop() {
    if (!state_) {
        return S_OK;
    }
    state_->Stop();
    // A worker that calls Stop from its own callback ends once it returns;
    // waiting here would wait for itself.
    if (thread_ && !OnWorkerThread()) {
        WaitForSingleObject(thread_.get(), INFINITE);
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CThreadControl::WaitForCompletion() {
    if (thread_ && !OnWorkerThread()) {
        WaitForSingleObject(thread_.get(), INFINITE);
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CThreadControl::get_hThread(LONG* pVal) {
    if (!pVal) {
        return E_POINTER;
    }
    // Kernel handles fit in 32 bits, also in a 64-bit process.
    *pVal = HandleToLong(thread_.get());
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CThreadControl::put_hThread(LONG value) {
    HANDLE duplicate = nullptr;
    const HANDLE given = LongToHandle(value);
    if (given != nullptr && !DuplicateHandle(GetCurrentProcess(), given, GetCurrentProcess(),
                                             &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        duplicate = nullptr;
    }
    thread_.reset(duplicate);
    thread_id_ = 0;
    state_.reset();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CThreadControl::IsRunning(VARIANT_BOOL* pvbRunning) {
    if (!pvbRunning) {
        return E_POINTER;
    }
    // A control without a thread has nothing running.
    *pvbRunning =
        com::ToVariantBool(thread_ && WaitForSingleObject(thread_.get(), 0) == WAIT_TIMEOUT);
    return S_OK;
}

}  // namespace olvex
