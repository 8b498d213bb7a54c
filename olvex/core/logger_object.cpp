#include "olvex/core/logger_object.h"

namespace olvex {

HRESULT STDMETHODCALLTYPE CLogger::PutLogEntry(ILogEntry* pLogEntry, VARIANT_BOOL* pvbSuccess) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CLogger::GetFirstLogEntry(ILogEntry** ppLogEntry) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CLogger::GetNextLogEntry(ILogEntry** ppLogEntry) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CLogger::get_bsLogPath(BSTR* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CLogger::put_bsLogPath(BSTR value) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CLogger::Initialize(BSTR bsLogPath, VARIANT_BOOL* pvbSuccess) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CLogger::get_nMaxLogEntries(LONG* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CLogger::put_nMaxLogEntries(LONG value) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CLogger::IsInitialized(VARIANT_BOOL* pvbInitialized) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CLogger::ClearEntireLog() {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CLogger::DeleteByRelativeDate(LONG nDaysOld) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CLogger::DeleteBySizeQuota(LONG nBytes) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CLogger::DeleteByItemCount(LONG nMaxItems) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CLogger::DeleteEntry(ILogEntry* pLogEntry) {
    return E_NOTIMPL;
}

}  // namespace olvex
