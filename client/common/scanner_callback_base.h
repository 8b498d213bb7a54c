// What every client sink for the engine's scan events shares: the IUnknown
// the scanner asks for (it keeps a counted reference to its callback), and
// S_OK for the events no client program follows.
//
// A sink embedded in an object that outlives every scan is never freed by its
// count; one made on the heap goes with its last reference.
#pragma once

#include <windows.h>

#include "olvex/olvex.h"

namespace olvex {

enum class SinkLifetime { kEmbedded, kCounted };

template <typename Derived, SinkLifetime lifetime>
class ScannerCallbackBase : public IScannerCallback {
  public:
    ScannerCallbackBase(const ScannerCallbackBase&) = delete;
    ScannerCallbackBase& operator=(const ScannerCallbackBase&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IScannerCallback)) {
            *object = static_cast<IScannerCallback*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }

    ULONG STDMETHODCALLTYPE AddRef() override {
        return static_cast<ULONG>(InterlockedIncrement(&references_));
    }

    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if constexpr (lifetime == SinkLifetime::kCounted) {
            if (left == 0)
                delete static_cast<Derived*>(this);
        }
        return static_cast<ULONG>(left > 0 ? left : 0);
    }

    HRESULT STDMETHODCALLTYPE ScanComplete() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ScanAborted(BSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE FinishedItem(BSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE VerboseInformation(BSTR) override { return S_OK; }

  protected:
    explicit ScannerCallbackBase(LONG references) : references_(references) {}
    ~ScannerCallbackBase() = default;

  private:
    LONG references_;
};

}  // namespace olvex
