// The engine log: appends entries to its file and reads them back.
// COM class Logger, default interface ILogger.
#pragma once

#include "olvex/com/com_object.h"
#include "olvex/olvex.h"

namespace olvex {

class CLogger final : public com::DispatchObject<CLogger, ILogger> {
  public:
    // ILogger, in virtual-table order.
    HRESULT STDMETHODCALLTYPE PutLogEntry(ILogEntry* pLogEntry, VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE GetFirstLogEntry(ILogEntry** ppLogEntry) override;
    HRESULT STDMETHODCALLTYPE GetNextLogEntry(ILogEntry** ppLogEntry) override;
    HRESULT STDMETHODCALLTYPE get_bsLogPath(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE put_bsLogPath(BSTR value) override;
    HRESULT STDMETHODCALLTYPE Initialize(BSTR bsLogPath, VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE get_nMaxLogEntries(LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE put_nMaxLogEntries(LONG value) override;
    HRESULT STDMETHODCALLTYPE IsInitialized(VARIANT_BOOL* pvbInitialized) override;
    HRESULT STDMETHODCALLTYPE ClearEntireLog() override;
    HRESULT STDMETHODCALLTYPE DeleteByRelativeDate(LONG nDaysOld) override;
    HRESULT STDMETHODCALLTYPE DeleteBySizeQuota(LONG nBytes) override;
    HRESULT STDMETHODCALLTYPE DeleteByItemCount(LONG nMaxItems) override;
    HRESULT STDMETHODCALLTYPE DeleteEntry(ILogEntry* pLogEntry) override;
};

}  // namespace olvex
