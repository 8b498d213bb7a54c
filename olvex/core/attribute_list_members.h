// The members that ILogEntry and IExcludedItem share, on one AttributeList:
// BSTRs in and out through the ANSI code page.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include "olvex/core/attribute_list.h"

namespace olvex {

class AttributeListMembers {
  public:
    AttributeListMembers();

    // Empties the list; a null text stops there, any other becomes the
    // current text and is read into pairs.
    HRESULT SetString(BSTR text);
    // The value, or null when the name is absent (S_OK either way).
    HRESULT GetAttributeValue(BSTR name, BSTR* value) const;
    // E_INVALIDARG, changing nothing, when the pairs could not be written
    // back as text that reads the same (AttributeList::SetAttributeValue).
    HRESULT SetAttributeValue(BSTR name, BSTR value);
    HRESULT GetString(BSTR* text) const;
    void Clear() { list_.Clear(); }

  private:
    AttributeList list_;
};

}  // namespace olvex
