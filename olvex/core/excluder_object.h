// The user's exclusions (pests, categories and paths that scans leave
// alone), kept in the exclusion file of a folder the client names.
// COM class Excluder, default interface IExcluder.
//
// Changes are written to the file before they count: AddExclusion and
// RemoveExclusion report success only when the file on disk changed, and
// otherwise leave the list as the file has it. IsLocationExcluded and
// IsFolderExcluded pick up other processes' changes, looking at the file at
// most once every four seconds (CurrentSecondsClock).
#pragma once

#include <cstddef>
#include <mutex>

#include "olvex/com/com_object.h"
#include "olvex/com/last_error.h"
#include "olvex/core/exclusion_criteria.h"
#include "olvex/core/exclusion_store.h"
#include "olvex/olvex.h"

namespace olvex {

// How the excluder gets a pest database when its caller passes none.
using PestDatabaseMaker = HRESULT (*)(IPestDatabase** database);

// The engine's own class "olvex.PestDatabase".
HRESULT MakeEnginePestDatabase(IPestDatabase** database);

// Replaces the maker for its lifetime (tests only; not thread-safe against
// code that is running at the same time).
class ScopedPestDatabaseMaker {
  public:
    explicit ScopedPestDatabaseMaker(PestDatabaseMaker maker);
    ~ScopedPestDatabaseMaker();
    ScopedPestDatabaseMaker(const ScopedPestDatabaseMaker&) = delete;
    ScopedPestDatabaseMaker& operator=(const ScopedPestDatabaseMaker&) = delete;

  private:
    PestDatabaseMaker previous_;
};

class CExcluder final : public com::DispatchObject<CExcluder, IExcluder> {
  public:
    CExcluder();

    // IExcluder, in virtual-table order.
    HRESULT STDMETHODCALLTYPE Initialize(BSTR bsExclusionsFolder,
                                         VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE IsInitialized(VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE AddExclusion(IExcludedItem* pExcludedItem,
                                           VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE RemoveExclusion(IExcludedItem* pExcludedItem,
                                              VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE IsLocationExcluded(LONG nPestId, BSTR bsLocation,
                                                 IPestDatabase* pPestDatabase,
                                                 VARIANT_BOOL* pvbIsExcluded) override;
    HRESULT STDMETHODCALLTYPE GetFirstExclusion(IExcludedItem** ppExcludedItem) override;
    HRESULT STDMETHODCALLTYPE GetNextExclusion(IExcludedItem** ppExcludedItem) override;
    HRESULT STDMETHODCALLTYPE get_bsLastError(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE RemoveAllExclusions() override;
    HRESULT STDMETHODCALLTYPE RefreshExclusions(BSTR bsExclusionPath) override;
    HRESULT STDMETHODCALLTYPE IsFolderExcluded(BSTR bsLocation, IPestDatabase* pPestDatabase,
                                               VARIANT_BOOL* pvbIsExcluded) override;

  private:
    // Runs a change of the list (add or remove) for the item's text.
    HRESULT Change(IExcludedItem* item, VARIANT_BOOL* success,
                   ExclusionError (ExclusionStore::*change)(std::string_view));
    // Brings the list up to date when the freshness interval has passed;
    // false when there is nothing to test against.
    bool Refreshed();
    // What the pest database knows of the pest (nothing for ids 0 and -1).
    PestFacts LookUpPest(LONG pest_id, IPestDatabase* given) const;
    // Answers whether covers(text in ANSI) holds, under the lock; no when
    // there is nothing to test against.
    template <typename Covers>
    HRESULT AskExclusions(BSTR text, VARIANT_BOOL* answer, Covers covers);
    HRESULT NextExclusion(IExcludedItem** item);

    // The scanner may ask from its worker threads while a client changes
    // the list.
    std::mutex mutex_;
    ExclusionStore store_;
    bool initialized_ = false;
    std::size_t cursor_ = 0;
    com::LastError last_error_;
};

}  // namespace olvex
