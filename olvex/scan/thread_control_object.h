// The handle of a worker thread that an asynchronous engine method started:
// the client pauses, resumes, stops, waits for and polls the thread with it.
// COM class ThreadControl, default interface IThreadControl.
//
// A control made by the launcher (async_launcher.h) owns its thread's handle
// and controls the worker cooperatively: Pause holds the worker at its next
// checkpoint, Resume lets it go on, Stop makes it end without sending any
// further event and waits for the thread to end. The handle is closed when
// the control is released; releasing the control does not stop the thread.
//
// hThread put gives the control a thread of the client's own: the control
// keeps a duplicate of that handle (the client's stays the client's). Such a
// thread cannot be asked to stop: Pause and Resume suspend and resume it,
// Stop does nothing (ending a thread from outside would leave its locks
// held), WaitForCompletion and IsRunning wait for and poll it.
#pragma once

#include <memory>

#include "olvex/com/com_object.h"
#include "win/unique.h"
#include "olvex/olvex.h"

namespace olvex {

struct AsyncTaskState;

class CThreadControl final : public com::DispatchObject<CThreadControl, IThreadControl> {
  public:
    // IThreadControl, in virtual-table order.
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Resume() override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE WaitForCompletion() override;
    HRESULT STDMETHODCALLTYPE get_hThread(LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE put_hThread(LONG value) override;
    HRESULT STDMETHODCALLTYPE IsRunning(VARIANT_BOOL* pvbRunning) override;

    // The launcher hands over the thread it started: its handle (owned from
    // now on), its id and the state its worker consults.
    void Attach(win::UniqueHandle thread, DWORD thread_id, std::shared_ptr<AsyncTaskState> state);

  private:
    bool OnWorkerThread() const;

    win::UniqueHandle thread_;
    DWORD thread_id_ = 0;
    // Null for a thread given through hThread put.
    std::shared_ptr<AsyncTaskState> state_;
};

}  // namespace olvex
