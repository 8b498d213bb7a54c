// One entry of the engine log: a list of attribute/value pairs.
// COM class LogEntry, default interface ILogEntry.
#pragma once

#include "olvex/com/com_object.h"
#include "olvex/olvex.h"

namespace olvex {

class CLogEntry final : public com::DispatchObject<CLogEntry, ILogEntry> {
  public:
    // ILogEntry, in virtual-table order.
    HRESULT STDMETHODCALLTYPE SetString(BSTR bsLocationString) override;
    HRESULT STDMETHODCALLTYPE GetAttributeValue(BSTR bsAttributeName, BSTR* pbsValue) override;
    HRESULT STDMETHODCALLTYPE SetAttributeValue(BSTR bsAttributeName, BSTR bsValue) override;
    HRESULT STDMETHODCALLTYPE GetString(BSTR* bsString) override;
};

}  // namespace olvex
