// One quarantined item: its location, record and pest ids, container file
// and date. A plain property bag: the quarantine fills it from a record of the
// item database, a session from an entry of its archive; changing it changes
// nothing on disk.
// COM class QuarantinedItem, default interface IQuarantinedItem.
#pragma once

#include "olvex/com/bstr.h"
#include "olvex/com/com_object.h"
#include "olvex/olvex.h"

namespace olvex {

class CQuarantinedItem final : public com::DispatchObject<CQuarantinedItem, IQuarantinedItem> {
  public:
    // IQuarantinedItem, in virtual-table order. Gets hand out copies, puts
    // keep copies.
    HRESULT STDMETHODCALLTYPE get_bsLocation(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE put_bsLocation(BSTR value) override;
    HRESULT STDMETHODCALLTYPE get_nRecordId(LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE put_nRecordId(LONG value) override;
    HRESULT STDMETHODCALLTYPE get_nPestId(LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE put_nPestId(LONG value) override;
    HRESULT STDMETHODCALLTYPE get_bsContainerFile(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE put_bsContainerFile(BSTR value) override;
    HRESULT STDMETHODCALLTYPE get_dQuarantineDate(DATE* pVal) override;
    HRESULT STDMETHODCALLTYPE put_dQuarantineDate(DATE value) override;

  private:
    com::UniqueBstr location_;
    LONG record_id_ = 0;
    LONG pest_id_ = 0;
    com::UniqueBstr container_file_;
    DATE quarantine_date_ = 0;
};

}  // namespace olvex
