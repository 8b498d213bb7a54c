// One location string parsed into its attributes, with tests of the kind
// of place it names.
// COM class Location, default interface ILocation.
#pragma once

#include "olvex/com/com_object.h"
#include "olvex/olvex.h"

namespace olvex {

class CLocation final : public com::DispatchObject<CLocation, ILocation> {
  public:
    // ILocation, in virtual-table order.
    HRESULT STDMETHODCALLTYPE SetString(BSTR bsLocationString) override;
    HRESULT STDMETHODCALLTYPE GetAttributeValue(BSTR bsAttributeName, BSTR* pbsValue) override;
    HRESULT STDMETHODCALLTYPE IsExclusion(VARIANT_BOOL* pvbExclusion) override;
    HRESULT STDMETHODCALLTYPE IsFile(VARIANT_BOOL* pvbFile) override;
    HRESULT STDMETHODCALLTYPE IsRegistryItem(VARIANT_BOOL* pvbRegistryItem) override;
    HRESULT STDMETHODCALLTYPE IsCookie(VARIANT_BOOL* pvbCookie) override;
    HRESULT STDMETHODCALLTYPE IsFolder(VARIANT_BOOL* pvbFolder) override;
    HRESULT STDMETHODCALLTYPE IsProcess(VARIANT_BOOL* pvbProcess) override;
};

}  // namespace olvex
