// One quarantine session: the container of everything removed in one
// cleaning run.
// COM class QuarantineSession, default interface IQuarantineSession.
#pragma once

#include "olvex/com/com_object.h"
#include "olvex/com/last_error.h"
#include "olvex/olvex.h"

namespace olvex {

class CQuarantineSession final
    : public com::DispatchObject<CQuarantineSession, IQuarantineSession> {
  public:
    // IQuarantineSession, in virtual-table order.
    HRESULT STDMETHODCALLTYPE Initialize(BSTR bsSessionFileName, VARIANT_BOOL* vbSuccess) override;
    HRESULT STDMETHODCALLTYPE get_bsSessionFilePath(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE IsInitialized(VARIANT_BOOL* pvbInitialized) override;
    HRESULT STDMETHODCALLTYPE
    GetFirstQuarantinedItem(IQuarantinedItem** ppQuarantinedItem) override;
    HRESULT STDMETHODCALLTYPE GetNextQuarantinedItem(IQuarantinedItem** ppQuarantinedItem) override;
    HRESULT STDMETHODCALLTYPE get_bsLastError(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE get_nSessionId(LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE put_nSessionId(LONG value) override;

  private:
    com::LastError last_error_;
};

}  // namespace olvex
