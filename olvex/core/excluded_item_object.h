// One exclusion of the excluder: a location string and its attributes.
// COM class ExcludedItem, default interface IExcludedItem.
#pragma once

#include "olvex/com/com_object.h"
#include "olvex/olvex.h"

namespace olvex {

class CExcludedItem final : public com::DispatchObject<CExcludedItem, IExcludedItem> {
  public:
    // IExcludedItem, in virtual-table order.
    HRESULT STDMETHODCALLTYPE SetString(BSTR bsLocationString) override;
    HRESULT STDMETHODCALLTYPE GetAttributeValue(BSTR bsAttributeName, BSTR* pbsValue) override;
    HRESULT STDMETHODCALLTYPE SetAttributeValue(BSTR bsAttributeName, BSTR bsValue) override;
    HRESULT STDMETHODCALLTYPE GetString(BSTR* bsString) override;
    HRESULT STDMETHODCALLTYPE Clear() override;
};

}  // namespace olvex
