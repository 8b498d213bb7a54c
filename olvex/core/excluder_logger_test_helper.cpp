// Test helper: the excluder or the logger used from a second process, the
// way another client program of the product uses them at the same time.
//   olvex_excluder_logger_test_helper add-exclusion <folder> <exclusion text>
//   olvex_excluder_logger_test_helper put-log-entries <base folder> <count> <writer> <event>
//   olvex_excluder_logger_test_helper is-excluded <folder> <pest id> <location>
// put-log-entries waits for the named event before it writes, so that two
// helpers start writing together; each entry holds Writer and Seq (0, 1, ...).
// is-excluded asks without a pest database, so the excluder makes its own on
// this program's folder; it exits with 0 for excluded, 4 for not excluded.
// Exit code 0 when every call succeeded, 1 when one failed, 2 for a bad
// command line, 3 when an object cannot be made or the event is missing.
#include <windows.h>
#include <ole2.h>

#include <cwchar>
#include <string>

#include "olvex/com/com_ptr.h"
#include "olvex/com/engine_class.h"
#include "olvex/olvex.h"

namespace {

using olvex::com::ComPtr;
using olvex::com::CreateEngineObject;

class Bstr {
  public:
    explicit Bstr(const std::wstring& text) : bstr_(SysAllocString(text.c_str())) {}
    ~Bstr() { SysFreeString(bstr_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    operator BSTR() const { return bstr_; }

  private:
    BSTR bstr_;
};

int AddExclusion(const wchar_t* folder, const wchar_t* text) {
    ComPtr<IExcluder> excluder;
    ComPtr<IExcludedItem> item;
    if (FAILED(CreateEngineObject(CLSID_Excluder, excluder.Put())) ||
        FAILED(CreateEngineObject(CLSID_ExcludedItem, item.Put())))
        return 3;
    VARIANT_BOOL ok = VARIANT_FALSE;
    excluder->Initialize(Bstr(folder), &ok);
    if (ok != VARIANT_TRUE)
        return 1;
    item->SetString(Bstr(text));
    excluder->AddExclusion(item.Get(), &ok);
    return ok == VARIANT_TRUE ? 0 : 1;
}

int IsExcluded(const wchar_t* folder, LONG pest_id, const wchar_t* location) {
    ComPtr<IExcluder> excluder;
    if (FAILED(CreateEngineObject(CLSID_Excluder, excluder.Put())))
        return 3;
    VARIANT_BOOL ok = VARIANT_FALSE;
    excluder->Initialize(Bstr(folder), &ok);
    if (ok != VARIANT_TRUE)
        return 1;
    VARIANT_BOOL excluded = VARIANT_FALSE;
    if (FAILED(excluder->IsLocationExcluded(pest_id, Bstr(location), nullptr, &excluded)))
        return 1;
    return excluded == VARIANT_TRUE ? 0 : 4;
}

int PutLogEntries(const wchar_t* base, int count, const wchar_t* writer, const wchar_t* event) {
    HANDLE start = OpenEventW(SYNCHRONIZE, FALSE, event);
    if (!start)
        return 3;
    ComPtr<ILogger> logger;
    if (FAILED(CreateEngineObject(CLSID_Logger, logger.Put()))) {
        CloseHandle(start);
        return 3;
    }
    VARIANT_BOOL ok = VARIANT_FALSE;
    logger->Initialize(Bstr(base), &ok);
    WaitForSingleObject(start, 60000);
    CloseHandle(start);
    if (ok != VARIANT_TRUE)
        return 1;
    for (int n = 0; n < count; ++n) {
        ComPtr<ILogEntry> entry;
        if (FAILED(CreateEngineObject(CLSID_LogEntry, entry.Put())))
            return 3;
        entry->SetAttributeValue(Bstr(L"Writer"), Bstr(writer));
        entry->SetAttributeValue(Bstr(L"Seq"), Bstr(std::to_wstring(n)));
        logger->PutLogEntry(entry.Get(), &ok);
        if (ok != VARIANT_TRUE)
            return 1;
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 4 && std::wcscmp(argv[1], L"add-exclusion") == 0)
        return AddExclusion(argv[2], argv[3]);
    if (argc == 6 && std::wcscmp(argv[1], L"put-log-entries") == 0)
        return PutLogEntries(argv[2], _wtoi(argv[3]), argv[4], argv[5]);
    if (argc == 5 && std::wcscmp(argv[1], L"is-excluded") == 0)
        return IsExcluded(argv[2], _wtoi(argv[3]), argv[4]);
    return 2;
}
