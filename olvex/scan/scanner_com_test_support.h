// For the Windows tests of the scanner's memory, registry and asynchronous
// scans: BSTR helpers and a client callback that records every event, safe
// to read while a scan thread adds to it.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "olvex/com/bstr.h"
#include "olvex/olvex.h"

namespace olvex::scan_test {

using WideLines = std::vector<std::wstring>;

inline std::wstring Wide(const std::string& text) {
    std::wstring wide;
    com::WideFromAnsi(text, wide);
    return wide;
}

class Bstr {
  public:
    explicit Bstr(const std::wstring& text) : bstr_(SysAllocString(text.c_str())) {}
    explicit Bstr(const std::string& text) : Bstr(Wide(text)) {}
    ~Bstr() { SysFreeString(bstr_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    operator BSTR() const { return bstr_; }

  private:
    BSTR bstr_;
};

inline std::wstring TextOf(BSTR text) {
    return text ? std::wstring(text, SysStringLen(text)) : L"<null>";
}

// The scanner's last error text, and its code (-2 when it gives none).
inline std::wstring LastErrorText(IScanner* scanner) {
    BSTR text = nullptr;
    scanner->get_bsLastError(&text);
    const std::wstring result = TextOf(text);
    SysFreeString(text);
    return result;
}
inline LONG LastErrorCode(IScanner* scanner) {
    LONG code = -2;
    scanner->get_nLastError(&code);
    return code;
}

// The client's callback: every event as one line, and the thread it came
// on. on_question runs at each ShouldScanContinue (outside the lock) with
// the question's number and gives the answer.
class RecordingSink final : public IScannerCallback {
  public:
    std::function<bool(int)> on_question;
    bool record_questions = true;

    ULONG References() const { return references_; }
    WideLines Lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    std::size_t Count() const {
        std::lock_guard lock(mutex_);
        return lines_.size();
    }
    WideLines Only(std::wstring_view prefix) const {
        WideLines kept;
        for (auto& line : Lines()) {
            if (std::wstring_view(line).starts_with(prefix))
                kept.push_back(std::move(line));
        }
        return kept;
    }
    // The threads events came on.
    std::vector<DWORD> Threads() const {
        std::lock_guard lock(mutex_);
        return threads_;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        lines_.clear();
        threads_.clear();
        questions_ = 0;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IScannerCallback)) {
            *object = static_cast<IScannerCallback*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // Owned by the test: counted, never deleted here.
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }

    HRESULT STDMETHODCALLTYPE ScanComplete() override {
        Add(L"ScanComplete");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ScanAborted(BSTR reason) override {
        Add(L"ScanAborted " + TextOf(reason));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FinishedItem(BSTR location) override {
        Add(L"FinishedItem " + TextOf(location));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE StartingItem(BSTR location) override {
        Add(L"StartingItem " + TextOf(location));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PestDetected(LONG pest_id, BSTR location) override {
        Add(L"PestDetected " + std::to_wstring(pest_id) + L" " + TextOf(location));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ShouldScanContinue(VARIANT_BOOL* go_on) override {
        int question = 0;
        {
            std::lock_guard lock(mutex_);
            question = ++questions_;
            threads_.push_back(GetCurrentThreadId());
            if (record_questions)
                lines_.push_back(L"ShouldScanContinue");
        }
        if (on_question && !on_question(question))
            *go_on = VARIANT_FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE VerboseInformation(BSTR message) override {
        Add(L"VerboseInformation " + TextOf(message));
        return S_OK;
    }

  private:
    void Add(std::wstring line) {
        std::lock_guard lock(mutex_);
        lines_.push_back(std::move(line));
        threads_.push_back(GetCurrentThreadId());
    }

    std::atomic<ULONG> references_{0};
    mutable std::mutex mutex_;
    WideLines lines_;
    std::vector<DWORD> threads_;
    int questions_ = 0;
};

}  // namespace olvex::scan_test
