// The handle of a worker thread that an asynchronous engine method started:
// the client pauses, resumes, stops, waits for and polls the thread with it.
// COM class ThreadControl, default interface IThreadControl.
#pragma once

#include "olvex/com/com_object.h"
#include "olvex/olvex.h"

namespace olvex {

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
};

}  // namespace olvex
