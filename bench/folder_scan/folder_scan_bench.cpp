// The folder scan as the product runs it: one Scanner object with a client
// callback, ScanFolder over a tree with recursion. Prints files, pests,
// seconds and files per second (run.sh adds the bytes read per file).
//
//   bench_folder_scan <definitions folder> <tree folder>
#include <windows.h>
#include <ole2.h>

#include <cstdio>

#include "bench/folder_scan/io_counter.h"
#include "bench/scanner_bench_support.h"
#include "olvex/com/com_ptr.h"
#include "olvex/com/engine_class.h"
#include "olvex/olvex.h"

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
        const auto defs = bench::Text(argv[1]);
        const auto tree = bench::Text(argv[2]);
        VARIANT_BOOL ok = VARIANT_FALSE;
        scanner->Initialize(defs.Get(), &ok);
        bench::CountingSink sink;
        scanner->put_Callback(&sink);
        if (ok == VARIANT_TRUE) {
            bench::Mark("begin");
            LARGE_INTEGER frequency, start, end;
            QueryPerformanceFrequency(&frequency);
            QueryPerformanceCounter(&start);
            scanner->ScanFolder(tree.Get(), VARIANT_TRUE, &ok);
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
    }
    CoUninitialize();
    return status;
}
