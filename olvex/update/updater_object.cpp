#include "olvex/update/updater_object.h"

namespace olvex {

HRESULT STDMETHODCALLTYPE CUpdater::Initialize(BSTR bsAppFolder, BSTR bsMasterControlFileUrl,
                                               LONG nPort, VARIANT_BOOL* pvbSuccess) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CUpdater::IsInitialized(VARIANT_BOOL* pvbInitialized) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CUpdater::get_bsLastError(BSTR* pVal) {
    return last_error_.GetText(pVal);
}

HRESULT STDMETHODCALLTYPE CUpdater::get_nLastError(LONG* pVal) {
    return last_error_.GetCode(pVal);
}

HRESULT STDMETHODCALLTYPE CUpdater::CheckForUpdates(LONG* pnNumberOfUpdatesAvailable,
                                                    LONG* pnTotalBytesInUpdate) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CUpdater::get_vbForceAllUpdates(VARIANT_BOOL* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CUpdater::put_vbForceAllUpdates(VARIANT_BOOL value) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CUpdater::DownloadUpdates(BSTR bsTempFolder,
                                                    IUpdaterCallback* pUpdaterCallback,
                                                    LONG* pnFilesReceived) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CUpdater::IsRebootRequired(VARIANT_BOOL* pvbReboot) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CUpdater::ApplyUpdates(BSTR bsTempFolder,
                                                 LONG* pnNumberOfUpdatesApplied) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CUpdater::DownloadUpdatesAsync(BSTR bsTempFolder,
                                                         IUpdaterCallback* pUpdaterCallback,
                                                         IThreadControl** ppThreadControl) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CUpdater::get_bsUpdateServer(BSTR* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CUpdater::put_bsUpdateServer(BSTR value) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CUpdater::InitializeEx(BSTR bsAppFolder, BSTR bsMasterControlFileUrl,
                                                 LONG nPort, BSTR bsUsername, BSTR bsPassword,
                                                 VARIANT_BOOL* pvbSuccess) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CUpdater::get_MaxDeltaBytes(ULONG* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CUpdater::put_MaxDeltaBytes(ULONG value) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CUpdater::get_vbExecuteAtReboot(VARIANT_BOOL* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CUpdater::put_vbExecuteAtReboot(VARIANT_BOOL value) {
    return E_NOTIMPL;
}

}  // namespace olvex
