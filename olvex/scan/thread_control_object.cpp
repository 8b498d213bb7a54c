#include "olvex/scan/thread_control_object.h"

namespace olvex {

HRESULT STDMETHODCALLTYPE CThreadControl::Pause() {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CThreadControl::Resume() {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CThreadControl::Stop() {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CThreadControl::WaitForCompletion() {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CThreadControl::get_hThread(LONG* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CThreadControl::put_hThread(LONG value) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CThreadControl::IsRunning(VARIANT_BOOL* pvbRunning) {
    return E_NOTIMPL;
}

}  // namespace olvex
