// Answers version questions: the engine's file version, whether a
// definition file is acceptable, the definitions' time stamp and the
// composite version.
// COM class VersionInfo, default interface IVersionInfo.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "olvex/com/com_object.h"
#include "olvex/com/last_error.h"
#include "olvex/olvex.h"

namespace olvex {

class CVersionInfo final : public com::DispatchObject<CVersionInfo, IVersionInfo> {
  public:
    // IVersionInfo, in virtual-table order.
    HRESULT STDMETHODCALLTYPE GetControlVersionAsString(BSTR* pbsVersion) override;
    HRESULT STDMETHODCALLTYPE get_bsLastError(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE get_nLastError(LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE IsDATValid(BSTR bsDatFile, VARIANT_BOOL* pvbValid) override;
    HRESULT STDMETHODCALLTYPE GetDATTimeStamp(BSTR bsDatFolder, FILETIME* pftTime,
                                              VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE GetCompositeVersion(BSTR bsDatFolder,
                                                  BSTR* bsCompositeVersion) override;

    // DispInvoke cannot pass GetDATTimeStamp's FILETIME: that member is
    // dispatched here, every other one by the base.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID locale, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* bad_argument) override;

  private:
    // The block time of <folder>\qzinfo.dat's last block; nullopt, with the
    // reason in the last error, when there is none.
    std::optional<std::uint64_t> TimeStamp(const std::string& folder);

    com::LastError last_error_;
};

}  // namespace olvex
