// The facts of one pest from the definition database: its ids, name,
// author, description, category and release date.
// COM class PestRecord, default interface IPestRecord.
#pragma once

#include "olvex/com/com_object.h"
#include "olvex/olvex.h"

namespace olvex {

class CPestRecord final : public com::DispatchObject<CPestRecord, IPestRecord> {
  public:
    // IPestRecord, in virtual-table order.
    HRESULT STDMETHODCALLTYPE get_nPvt(LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE put_nPvt(LONG value) override;
    HRESULT STDMETHODCALLTYPE get_nId(LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE put_nId(LONG value) override;
    HRESULT STDMETHODCALLTYPE get_bsName(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE put_bsName(BSTR value) override;
    HRESULT STDMETHODCALLTYPE get_bsAuthor(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE put_bsAuthor(BSTR value) override;
    HRESULT STDMETHODCALLTYPE get_bsDescription(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE put_bsDescription(BSTR value) override;
    HRESULT STDMETHODCALLTYPE get_bsCategory(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE put_bsCategory(BSTR value) override;
    HRESULT STDMETHODCALLTYPE get_bsReleaseDate(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE put_bsReleaseDate(BSTR value) override;
};

}  // namespace olvex
