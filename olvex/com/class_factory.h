// The class factory of one engine class. Factories are objects of their own
// (they count as live objects), so a client that holds one keeps the module
// loaded.
#pragma once

#include <windows.h>
#include <ole2.h>

#include "olvex/com/com_object.h"
#include "olvex/com/engine_class.h"

namespace olvex::com {

class ClassFactory final : public ComObject<ClassFactory, IClassFactory> {
  public:
    explicit ClassFactory(CreateFunction create) : create_(create) {}

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

  private:
    CreateFunction create_;
};

}  // namespace olvex::com
