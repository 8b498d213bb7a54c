// The engine may still be registering or loading its definitions when a
// client program starts: its objects are made, and their Initialize called,
// a few times before the program gives up. Each program waits between tries
// on its own clock (background protection on its scaled one).
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include "olvex/com/com_ptr.h"

namespace olvex {

class EngineRetries {
  public:
    using SleepFunction = void (*)(DWORD milliseconds);

    explicit constexpr EngineRetries(SleepFunction sleep) : sleep_(sleep) {}

    // Makes the object in process, at most attempts times; object is empty
    // unless this answers true.
    template <typename Interface>
    bool Create(REFCLSID clsid, com::ComPtr<Interface>& object, int attempts,
                DWORD sleep_ms) const {
        for (int n = 0; n < attempts; ++n) {
            object.Reset();  // a partial attempt is let go first
            if (SUCCEEDED(CoCreateInstance(clsid, nullptr,
                                           CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                           __uuidof(Interface), object.PutVoid())) &&
                object)
                return true;
            sleep_(sleep_ms);
        }
        object.Reset();
        return false;
    }

    // Calls initialize(VARIANT_BOOL* success) until it reports success, at
    // most attempts times.
    template <typename Call>
    bool Initialize(int attempts, DWORD sleep_ms, Call&& initialize) const {
        for (int n = 0; n < attempts; ++n) {
            VARIANT_BOOL success = VARIANT_FALSE;
            if (SUCCEEDED(initialize(&success)) && success == VARIANT_TRUE)
                return true;
            sleep_(sleep_ms);
        }
        return false;
    }

  private:
    SleepFunction sleep_;
};

}  // namespace olvex
