// Removes detected pest locations: hands special pests to the scripted
// remover, records and quarantines, terminates processes and deletes files,
// folders and registry entries, at once or at the next restart.
// COM class Exterminator, default interface IExterminator.
#pragma once

#include "olvex/com/com_object.h"
#include "olvex/com/last_error.h"
#include "olvex/olvex.h"

namespace olvex {

class CExterminator final : public com::DispatchObject<CExterminator, IExterminator> {
  public:
    // IExterminator, in virtual-table order.
    HRESULT STDMETHODCALLTYPE ExterminatePest(LONG nPestId, BSTR bsLocation,
                                              VARIANT_BOOL vbQuarantine,
                                              VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE get_bsQuarantineFolder(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE get_bsLastError(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE put_bsLastError(BSTR value) override;
    HRESULT STDMETHODCALLTYPE IsRebootRequired(VARIANT_BOOL* pvbReboot) override;
    HRESULT STDMETHODCALLTYPE TerminatePestProcess(LONG nPestId, BSTR bsLocation,
                                                   VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE get_vbAllowQuarantineDuplicates(VARIANT_BOOL* pVal) override;
    HRESULT STDMETHODCALLTYPE put_vbAllowQuarantineDuplicates(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE Initialize(BSTR bsQuarantineFolder,
                                         VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE IsInitialized(VARIANT_BOOL* pvbInitialized) override;
    HRESULT STDMETHODCALLTYPE get_vbLogEnabled(VARIANT_BOOL* pVal) override;
    HRESULT STDMETHODCALLTYPE put_vbLogEnabled(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE RequiresSpecialRemover(LONG lPestID,
                                                     VARIANT_BOOL* pvbRequiresRemover) override;
    HRESULT STDMETHODCALLTYPE InitializeEx(BSTR bsQuarantineFolder, BSTR bsQZCleanFolder,
                                           VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE Immunize(VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE RemoveImmunization(VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE get_vbQuarantineCookies(VARIANT_BOOL* pVal) override;
    HRESULT STDMETHODCALLTYPE put_vbQuarantineCookies(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE InitializeEx2(BSTR bsQuarantineFolder, BSTR bsQZCleanFolder,
                                            BSTR bsExcluderPath, BSTR bsDatPath,
                                            VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE get_dwLastQZCleanExitCode(ULONG* pVal) override;
    HRESULT STDMETHODCALLTYPE get_vbQZCleanSilent(VARIANT_BOOL* pVal) override;
    HRESULT STDMETHODCALLTYPE put_vbQZCleanSilent(VARIANT_BOOL value) override;

  private:
    com::LastError last_error_;
};

}  // namespace olvex
