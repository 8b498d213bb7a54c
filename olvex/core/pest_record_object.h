// The facts of one pest from the definition database: its ids, name,
// author, description, category and release date.
// COM class PestRecord, default interface IPestRecord.
#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "olvex/com/com_object.h"
#include "olvex/core/dat_tables.h"
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

  private:
    // A text property: null until a put, or after a put of null.
    using Text = std::optional<std::wstring>;
    HRESULT GetNumber(const LONG& field, LONG* out) const;
    HRESULT PutNumber(LONG& field, LONG value);
    HRESULT GetText(const Text& field, BSTR* out) const;
    HRESULT PutText(Text& field, BSTR value);

    mutable std::mutex mutex_;
    LONG pvt_ = -1;
    LONG id_ = -1;
    Text name_ = std::wstring();
    Text author_ = std::wstring();
    Text description_ = std::wstring();
    Text category_ = std::wstring();
    Text release_date_ = std::wstring();
};

// A new record of a pest of the database, made through this module's own
// class: its id, name and category, "Unknown" for author, description and
// release date. The creation's failure code when it cannot be made.
HRESULT MakePestRecord(const DatPestEntry& pest, IPestRecord** record);

}  // namespace olvex
