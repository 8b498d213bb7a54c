// The user's exclusions (pests, categories and paths that scans leave
// alone), kept in the exclusion file of a folder the client names.
// COM class Excluder, default interface IExcluder.
#pragma once

#include "olvex/com/com_object.h"
#include "olvex/com/last_error.h"
#include "olvex/olvex.h"

namespace olvex {

class CExcluder final : public com::DispatchObject<CExcluder, IExcluder> {
  public:
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
    com::LastError last_error_;
};

}  // namespace olvex
