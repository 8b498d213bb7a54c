// One quarantine session: the archive of everything removed in one cleaning
// run, whose entry comments Initialize reads once and hands out entry by entry
// as QuarantinedItem objects.
// COM class QuarantineSession, default interface IQuarantineSession.
#pragma once

#include <string>
#include <vector>

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

    // What Initialize keeps of an archive: its path and the comments of its
    // entries, in entry order. Marks the session initialised.
    void LoadEntries(std::string archive_path, std::vector<std::string> comments);

  private:
    HRESULT InitializeFrom(BSTR path, VARIANT_BOOL* success);

    com::LastError last_error_;
    bool initialized_ = false;
    bool has_path_ = false;
    std::string path_;
    std::vector<std::string> comments_;
    std::size_t cursor_ = 0;
    LONG session_id_ = 0;
};

}  // namespace olvex
