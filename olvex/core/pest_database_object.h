// The clients' view of the in-memory pest definitions: pests and pest
// records, common locations and their iterators, language texts and lookups.
// COM class PestDatabase, default interface IPestDatabase.
//
// Every object reads the process-wide database (the one current when it was
// made); the first Initialize in the process loads it, later ones reuse it.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "olvex/com/com_object.h"
#include "olvex/com/last_error.h"
#include "olvex/core/dat_database.h"
#include "olvex/olvex.h"

namespace olvex {

inline constexpr char kPestDatabaseNotInitializedText[] = "Pest database is not initialized.";

class CPestDatabase final : public com::DispatchObject<CPestDatabase, IPestDatabase> {
  public:
    CPestDatabase();

    // IPestDatabase, in virtual-table order.
    HRESULT STDMETHODCALLTYPE GetPestById(LONG nPestId, IPestRecord** ppPestRecord) override;
    HRESULT STDMETHODCALLTYPE GetFirstPest(IPestRecord** ppPest) override;
    HRESULT STDMETHODCALLTYPE GetNextPest(IPestRecord** ppPest) override;
    HRESULT STDMETHODCALLTYPE GetFirstCommonLocation(LONG* pnPestId, BSTR* pbsLocation) override;
    HRESULT STDMETHODCALLTYPE GetNextCommonLocation(LONG* pnPestId, BSTR* pbsLocation) override;
    HRESULT STDMETHODCALLTYPE IsInitialized(VARIANT_BOOL* pvbInitialized) override;
    HRESULT STDMETHODCALLTYPE Initialize(BSTR bsDatFolder, VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE get_bsLastError(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE put_bsLastError(BSTR value) override;
    HRESULT STDMETHODCALLTYPE GetPestRisk(LONG nPestId, BSTR* pbsRisk) override;
    HRESULT STDMETHODCALLTYPE GetPestAdvice(LONG nPestId, BSTR* pbsAdvice) override;
    HRESULT STDMETHODCALLTYPE GetPestThreat(LONG nPestId, BSTR* pbsThreat) override;
    HRESULT STDMETHODCALLTYPE get_bsLanguage(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE put_bsLanguage(BSTR value) override;
    HRESULT STDMETHODCALLTYPE get_nLastError(LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE GetFirstCookieExclusion(LONG* pnPestId, BSTR* pbsLocation) override;
    HRESULT STDMETHODCALLTYPE GetNextCookieExclusion(LONG* pnPestId, BSTR* pbsLocation) override;
    HRESULT STDMETHODCALLTYPE GetPVTByLocation(BSTR bsLocation, LONG* plPvt) override;
    HRESULT STDMETHODCALLTYPE
    GetFirstLocationIterator(IPestDatabaseLocationIterator** ppIter) override;
    HRESULT STDMETHODCALLTYPE
    GetEndLocationIterator(IPestDatabaseLocationIterator** ppIter) override;
    HRESULT STDMETHODCALLTYPE GetFirstPestIterator(IPestDatabasePestIterator** ppIter) override;
    HRESULT STDMETHODCALLTYPE GetEndPestIterator(IPestDatabasePestIterator** ppIter) override;
    HRESULT STDMETHODCALLTYPE
    GetFirstCookieExclusionIterator(IPestDatabaseCookieExclusionIterator** ppIter) override;
    HRESULT STDMETHODCALLTYPE
    GetEndCookieExclusionIterator(IPestDatabaseCookieExclusionIterator** ppIter) override;
    HRESULT STDMETHODCALLTYPE GetMD5ByLocation(BSTR bsLocation, BSTR* pbsMD5) override;

  private:
    bool IsReady() const;
    // The not-initialised guard of the enumeration members: sets the text.
    bool RequireReady();
    HRESULT GetPestText(LONG pest_id, std::string_view kind, BSTR* text);

    CDatDatabase& database_;
    com::LastError last_error_;
    mutable std::mutex mutex_;  // guards what follows
    std::string folder_;
    std::wstring language_ = L"English";
    bool initialized_ = false;
    DatCursor pest_cursor_;
    std::optional<DatLocationWalk> common_locations_;  // set by GetFirstCommonLocation
};

}  // namespace olvex
