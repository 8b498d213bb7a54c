// The scanner: scans memory, the registry, cookies, common locations,
// folders and files for known pests, on the caller's thread or on one of its
// own, and reports what it finds to the client's callback.
// COM class Scanner, default interface IScanner.
#pragma once

#include "olvex/com/com_object.h"
#include "olvex/com/last_error.h"
#include "olvex/olvex.h"

namespace olvex {

class CScanner final : public com::DispatchObject<CScanner, IScanner> {
  public:
    // IScanner, in virtual-table order.
    HRESULT STDMETHODCALLTYPE get_Callback(IScannerCallback** pVal) override;
    HRESULT STDMETHODCALLTYPE put_Callback(IScannerCallback* value) override;
    HRESULT STDMETHODCALLTYPE ScanFolder(BSTR bsFolder, VARIANT_BOOL vbRecurse,
                                         VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE get_bMemScanModules(VARIANT_BOOL* pVal) override;
    HRESULT STDMETHODCALLTYPE put_bMemScanModules(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE ScanMemory(VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE ScanRegistry(VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE ScanCookies(VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE ScanCommonLocations(VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE get_bDeepScan(VARIANT_BOOL* pVal) override;
    HRESULT STDMETHODCALLTYPE put_bDeepScan(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_bsLastError(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE put_bsLastError(BSTR value) override;
    HRESULT STDMETHODCALLTYPE Initialize(BSTR bsDatFolder, VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE IsInitialized(VARIANT_BOOL* pvbInitialized) override;
    HRESULT STDMETHODCALLTYPE get_bsScanFilters(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE put_bsScanFilters(BSTR value) override;
    HRESULT STDMETHODCALLTYPE GetFirstDetectedItem(LONG* pnPestId, BSTR* pbsLocation) override;
    HRESULT STDMETHODCALLTYPE GetNextDetectedItem(LONG* pnPestId, BSTR* pbsLocation) override;
    HRESULT STDMETHODCALLTYPE ScanFile(BSTR bsFile, VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE get_bsLanguage(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE put_bsLanguage(BSTR value) override;
    HRESULT STDMETHODCALLTYPE get_vbDetectCookiesAsFiles(VARIANT_BOOL* pVal) override;
    HRESULT STDMETHODCALLTYPE put_vbDetectCookiesAsFiles(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE ScanFolderAsync(BSTR bsFolder, VARIANT_BOOL vbRecurse,
                                              IThreadControl** pThreadControl) override;
    HRESULT STDMETHODCALLTYPE ScanCookiesAsync(IThreadControl** pThreadControl) override;
    HRESULT STDMETHODCALLTYPE ScanCommonLocationsAsync(IThreadControl** ppThreadControl) override;
    HRESULT STDMETHODCALLTYPE ScanMemoryAsync(IThreadControl** ppThreadControl) override;
    HRESULT STDMETHODCALLTYPE ScanFileAsync(BSTR bsFile, IThreadControl** ppThreadControl) override;
    HRESULT STDMETHODCALLTYPE ScanRegistryAsync(IThreadControl** ppThreadControl) override;
    HRESULT STDMETHODCALLTYPE get_nLastError(LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE InitializeEx(BSTR bsDatPath, BSTR bsExclusionsPath, BSTR bsLogPath,
                                           VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE get_vbLogEnabled(VARIANT_BOOL* pVal) override;
    HRESULT STDMETHODCALLTYPE put_vbLogEnabled(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_vbMemScanModules(VARIANT_BOOL* pVal) override;
    HRESULT STDMETHODCALLTYPE put_vbMemScanModules(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_vbDeepScan(VARIANT_BOOL* pVal) override;
    HRESULT STDMETHODCALLTYPE put_vbDeepScan(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE ScanCookiesEx(BSTR bsCookieFolderPath,
                                            VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE get_vbScanAllUsers(VARIANT_BOOL* pVal) override;
    HRESULT STDMETHODCALLTYPE put_vbScanAllUsers(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE ScanFileEx(BSTR bsFile, VARIANT_BOOL* pvbIsPest,
                                         VARIANT_BOOL* pvbSuccess) override;

  private:
    com::LastError last_error_;
};

}  // namespace olvex
