// The folder scan as the product runs it: one Scanner object with a client
// callback, ScanFolder over a tree with recursion. Prints files, pests,
// seconds and files per second (run.sh adds the bytes read per file).
//
//   bench_folder_scan <definitions folder> <tree folder>
#include <windows.h>
#include <ole2.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "bench/folder_scan/io_counter.h"
#include "olvex/com/com_ptr.h"
#include "olvex/com/engine_class.h"
#include "olvex/olvex.h"

namespace {

// Counts the files started and the pests found; always lets the scan go on.
class CountingSink final : public IScannerCallback {
  public:
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

BSTR Text(const char* text) {
    const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
    return SysAllocString(wide.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_folder_scan <definitions folder> <tree folder>\n");
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int status = 1;
    {
        olvex::com::ComPtr<IScanner> scanner;
        if (FAILED(olvex::com::CreateEngineObject(CLSID_Scanner, scanner.Put())))
            return 1;
        BSTR defs = Text(argv[1]);
        BSTR tree = Text(argv[2]);
        VARIANT_BOOL ok = VARIANT_FALSE;
        scanner->Initialize(defs, &ok);
        CountingSink sink;
        scanner->put_Callback(&sink);
        if (ok == VARIANT_TRUE) {
            bench::Mark("begin");
            LARGE_INTEGER frequency, start, end;
            QueryPerformanceFrequency(&frequency);
            QueryPerformanceCounter(&start);
            scanner->ScanFolder(tree, VARIANT_TRUE, &ok);
            QueryPerformanceCounter(&end);
            const double seconds =
                static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart;
            bench::Mark("end");
            bench::PrintFigures("scanner", sink.files, seconds);
            std::printf("scanner pests %ld\n", sink.pests);
            status = 0;
        } else {
            std::fprintf(stderr, "the definitions did not load\n");
        }
        scanner->put_Callback(nullptr);
        SysFreeString(defs);
        SysFreeString(tree);
    }
    CoUninitialize();
    return status;
}
