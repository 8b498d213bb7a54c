// Checks for, downloads and applies definition and engine updates from the
// update server.
// COM class Updater, default interface IUpdater.
#pragma once

#include "olvex/com/com_object.h"
#include "olvex/com/last_error.h"
#include "olvex/olvex.h"

namespace olvex {

class CUpdater final : public com::DispatchObject<CUpdater, IUpdater> {
  public:
    // IUpdater, in virtual-table order.
    HRESULT STDMETHODCALLTYPE Initialize(BSTR bsAppFolder, BSTR bsMasterControlFileUrl, LONG nPort,
                                         VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE IsInitialized(VARIANT_BOOL* pvbInitialized) override;
    HRESULT STDMETHODCALLTYPE get_bsLastError(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE get_nLastError(LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE CheckForUpdates(LONG* pnNumberOfUpdatesAvailable,
                                              LONG* pnTotalBytesInUpdate) override;
    HRESULT STDMETHODCALLTYPE get_vbForceAllUpdates(VARIANT_BOOL* pVal) override;
    HRESULT STDMETHODCALLTYPE put_vbForceAllUpdates(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE DownloadUpdates(BSTR bsTempFolder, IUpdaterCallback* pUpdaterCallback,
                                              LONG* pnFilesReceived) override;
    HRESULT STDMETHODCALLTYPE IsRebootRequired(VARIANT_BOOL* pvbReboot) override;
    HRESULT STDMETHODCALLTYPE ApplyUpdates(BSTR bsTempFolder,
                                           LONG* pnNumberOfUpdatesApplied) override;
    HRESULT STDMETHODCALLTYPE DownloadUpdatesAsync(BSTR bsTempFolder,
                                                   IUpdaterCallback* pUpdaterCallback,
                                                   IThreadControl** ppThreadControl) override;
    HRESULT STDMETHODCALLTYPE get_bsUpdateServer(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE put_bsUpdateServer(BSTR value) override;
    HRESULT STDMETHODCALLTYPE InitializeEx(BSTR bsAppFolder, BSTR bsMasterControlFileUrl,
                                           LONG nPort, BSTR bsUsername, BSTR bsPassword,
                                           VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE get_MaxDeltaBytes(ULONG* pVal) override;
    HRESULT STDMETHODCALLTYPE put_MaxDeltaBytes(ULONG value) override;
    HRESULT STDMETHODCALLTYPE get_vbExecuteAtReboot(VARIANT_BOOL* pVal) override;
    HRESULT STDMETHODCALLTYPE put_vbExecuteAtReboot(VARIANT_BOOL value) override;

  private:
    com::LastError last_error_;
};

}  // namespace olvex
