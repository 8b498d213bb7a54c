#include "olvex/remedy/exterminator_object.h"

namespace olvex {

HRESULT STDMETHODCALLTYPE CExterminator::ExterminatePest(LONG nPestId, BSTR bsLocation,
                                                         VARIANT_BOOL vbQuarantine,
                                                         VARIANT_BOOL* pvbSuccess) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CExterminator::get_bsQuarantineFolder(BSTR* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CExterminator::get_bsLastError(BSTR* pVal) {
    return last_error_.GetText(pVal);
}

HRESULT STDMETHODCALLTYPE CExterminator::put_bsLastError(BSTR value) {
    return last_error_.PutText(value);
}

HRESULT STDMETHODCALLTYPE CExterminator::IsRebootRequired(VARIANT_BOOL* pvbReboot) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CExterminator::TerminatePestProcess(LONG nPestId, BSTR bsLocation,
                                                              VARIANT_BOOL* pvbSuccess) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CExterminator::get_vbAllowQuarantineDuplicates(VARIANT_BOOL* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CExterminator::put_vbAllowQuarantineDuplicates(VARIANT_BOOL value) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CExterminator::Initialize(BSTR bsQuarantineFolder,
                                                    VARIANT_BOOL* pvbSuccess) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CExterminator::IsInitialized(VARIANT_BOOL* pvbInitialized) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CExterminator::get_vbLogEnabled(VARIANT_BOOL* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CExterminator::put_vbLogEnabled(VARIANT_BOOL value) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CExterminator::RequiresSpecialRemover(LONG lPestID,
                                                                VARIANT_BOOL* pvbRequiresRemover) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CExterminator::InitializeEx(BSTR bsQuarantineFolder, BSTR bsQZCleanFolder,
                                                      VARIANT_BOOL* pvbSuccess) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CExterminator::Immunize(VARIANT_BOOL* pvbSuccess) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CExterminator::RemoveImmunization(VARIANT_BOOL* pvbSuccess) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CExterminator::get_vbQuarantineCookies(VARIANT_BOOL* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CExterminator::put_vbQuarantineCookies(VARIANT_BOOL value) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CExterminator::InitializeEx2(BSTR bsQuarantineFolder,
                                                       BSTR bsQZCleanFolder, BSTR bsExcluderPath,
                                                       BSTR bsDatPath, VARIANT_BOOL* pvbSuccess) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CExterminator::get_dwLastQZCleanExitCode(ULONG* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CExterminator::get_vbQZCleanSilent(VARIANT_BOOL* pVal) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CExterminator::put_vbQZCleanSilent(VARIANT_BOOL value) {
    return E_NOTIMPL;
}

}  // namespace olvex
