#include "olvex/scan/scanner_object.h"

namespace olvex {

HRESULT STDMETHODCALLTYPE CScanner::get_Callback(IScannerCallback** pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::put_Callback(IScannerCallback* value) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::ScanFolder(BSTR bsFolder, VARIANT_BOOL vbRecurse,
                                               VARIANT_BOOL* pvbSuccess) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::get_bMemScanModules(VARIANT_BOOL* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::put_bMemScanModules(VARIANT_BOOL value) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::ScanMemory(VARIANT_BOOL* pvbSuccess) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::ScanRegistry(VARIANT_BOOL* pvbSuccess) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::ScanCookies(VARIANT_BOOL* pvbSuccess) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::ScanCommonLocations(VARIANT_BOOL* pvbSuccess) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::get_bDeepScan(VARIANT_BOOL* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::put_bDeepScan(VARIANT_BOOL value) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::get_bsLastError(BSTR* pVal) {
    return last_error_.GetText(pVal);
}

HRESULT STDMETHODCALLTYPE CScanner::put_bsLastError(BSTR value) {
    return last_error_.PutText(value);
}

HRESULT STDMETHODCALLTYPE CScanner::Initialize(BSTR bsDatFolder, VARIANT_BOOL* pvbSuccess) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::IsInitialized(VARIANT_BOOL* pvbInitialized) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::get_bsScanFilters(BSTR* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::put_bsScanFilters(BSTR value) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::GetFirstDetectedItem(LONG* pnPestId, BSTR* pbsLocation) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::GetNextDetectedItem(LONG* pnPestId, BSTR* pbsLocation) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::ScanFile(BSTR bsFile, VARIANT_BOOL* pvbSuccess) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::get_bsLanguage(BSTR* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::put_bsLanguage(BSTR value) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::get_vbDetectCookiesAsFiles(VARIANT_BOOL* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::put_vbDetectCookiesAsFiles(VARIANT_BOOL value) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::ScanFolderAsync(BSTR bsFolder, VARIANT_BOOL vbRecurse,
                                                    IThreadControl** pThreadControl) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::ScanCookiesAsync(IThreadControl** pThreadControl) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::ScanCommonLocationsAsync(IThreadControl** ppThreadControl) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::ScanMemoryAsync(IThreadControl** ppThreadControl) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::ScanFileAsync(BSTR bsFile, IThreadControl** ppThreadControl) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::ScanRegistryAsync(IThreadControl** ppThreadControl) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::get_nLastError(LONG* pVal) {
    return last_error_.GetCode(pVal);
}

HRESULT STDMETHODCALLTYPE CScanner::InitializeEx(BSTR bsDatPath, BSTR bsExclusionsPath,
                                                 BSTR bsLogPath, VARIANT_BOOL* pvbSuccess) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::get_vbLogEnabled(VARIANT_BOOL* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::put_vbLogEnabled(VARIANT_BOOL value) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::get_vbMemScanModules(VARIANT_BOOL* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::put_vbMemScanModules(VARIANT_BOOL value) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::get_vbDeepScan(VARIANT_BOOL* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::put_vbDeepScan(VARIANT_BOOL value) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::ScanCookiesEx(BSTR bsCookieFolderPath,
                                                  VARIANT_BOOL* pvbSuccess) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::get_vbScanAllUsers(VARIANT_BOOL* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::put_vbScanAllUsers(VARIANT_BOOL value) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CScanner::ScanFileEx(BSTR bsFile, VARIANT_BOOL* pvbIsPest,
                                               VARIANT_BOOL* pvbSuccess) {
    return E_NOTIMPL;
}

}  // namespace olvex
