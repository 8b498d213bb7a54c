// What the scanner benchmarks under Wine share: a client callback that
// counts, and BSTR arguments made from the command line's texts.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <atomic>
#include <string_view>

#include "olvex/com/bstr.h"
#include "olvex/olvex.h"

namespace bench {

// Counts the items started (files among them) and the pests found; always
// lets the scan go on. It lives on the benchmark's stack, so its count of
// references never frees it.
class CountingSink final : public IScannerCallback {
  public:
    long items = 0;
    long files = 0;
    long pests = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IScannerCallback)) {
            *object = static_cast<IScannerCallback*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }
    HRESULT STDMETHODCALLTYPE ScanComplete() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ScanAborted(BSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE FinishedItem(BSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE StartingItem(BSTR location) override {
        ++items;
        if (location && location[0] == L'F' && location[1] == L'i')
            ++files;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PestDetected(LONG, BSTR) override {
        ++pests;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ShouldScanContinue(VARIANT_BOOL*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE VerboseInformation(BSTR) override { return S_OK; }

  private:
    std::atomic<ULONG> references_{0};
};

// A BSTR of an ANSI text, freed when it goes.
inline olvex::com::UniqueBstr Text(std::string_view text) {
    olvex::com::UniqueBstr bstr;
    olvex::com::BstrFromAnsi(text, bstr.Put());
    return bstr;
}

}  // namespace bench
