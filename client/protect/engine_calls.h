// Small helpers for the protection's calls into the engine: its booleans,
// BSTRs made from and read back into the ANSI text the client files hold,
// and the objects' last-error properties.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>

#include "client/common/ui/ansi_text.h"

namespace olvex::protect {

// The engine's true is -1; its callers test the low 16 bits.
inline bool IsTrue(VARIANT_BOOL value) {
    return (static_cast<unsigned short>(value) & 0xFFFF) == 0xFFFF;
}

// The ANSI text of a BSTR; a null one is empty.
inline std::string AnsiOf(BSTR text) {
    return text == nullptr ? std::string()
                           : ui::ToAnsi(std::wstring_view(text, SysStringLen(text)));
}

// A BSTR made from ANSI text, freed with the object.
class OwnedBstr {
  public:
    explicit OwnedBstr(const std::string& ansi) {
        const std::wstring wide = ui::FromAnsi(ansi);
        bstr_ = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    }
    ~OwnedBstr() { SysFreeString(bstr_); }
    OwnedBstr(const OwnedBstr&) = delete;
    OwnedBstr& operator=(const OwnedBstr&) = delete;
    BSTR get() const { return bstr_; }

  private:
    BSTR bstr_ = nullptr;
};

template <typename Interface>
std::wstring LastErrorText(Interface* object) {
    BSTR text = nullptr;
    if (object == nullptr || FAILED(object->get_bsLastError(&text)) || text == nullptr)
        return {};
    std::wstring result(text, SysStringLen(text));
    SysFreeString(text);
    return result;
}

template <typename Interface>
long LastErrorNumber(Interface* object) {
    long number = 0;
    if (object == nullptr || FAILED(object->get_nLastError(&number)))
        return 0;
    return number;
}

}  // namespace olvex::protect
