#include "olvex/core/excluder_object.h"

namespace olvex {

HRESULT STDMETHODCALLTYPE CExcluder::Initialize(BSTR bsExclusionsFolder, VARIANT_BOOL* pvbSuccess) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CExcluder::IsInitialized(VARIANT_BOOL* pvbSuccess) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CExcluder::AddExclusion(IExcludedItem* pExcludedItem,
                                                  VARIANT_BOOL* pvbSuccess) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CExcluder::RemoveExclusion(IExcludedItem* pExcludedItem,
                                                     VARIANT_BOOL* pvbSuccess) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CExcluder::IsLocationExcluded(LONG nPestId, BSTR bsLocation,
                                                        IPestDatabase* pPestDatabase,
                                                        VARIANT_BOOL* pvbIsExcluded) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CExcluder::GetFirstExclusion(IExcludedItem** ppExcludedItem) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CExcluder::GetNextExclusion(IExcludedItem** ppExcludedItem) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CExcluder::get_bsLastError(BSTR* pVal) {
    return last_error_.GetText(pVal);
}

HRESULT STDMETHODCALLTYPE CExcluder::RemoveAllExclusions() {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CExcluder::RefreshExclusions(BSTR bsExclusionPath) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CExcluder::IsFolderExcluded(BSTR bsLocation, IPestDatabase* pPestDatabase,
                                                      VARIANT_BOOL* pvbIsExcluded) {
    return E_NOTIMPL;
}

}  // namespace olvex
