// A scanner that reports what a script says, for what the real engine never
// reports: pest ids the definitions do not hold, locations of no known kind.
// Tests register it as the in-process server of the scanner's class id only,
// so the main program runs with the real engine for everything else and
// meets this scanner through the same class factory call.
//
// Each scan method calls the program's callback through its table of
// operations, in the engine's order: StartingItem (section), then per
// scripted detection ShouldScanContinue, StartingItem (location),
// VerboseInformation, PestDetected, FinishedItem (location); then
// FinishedItem (section) and ScanComplete. A stop answered by the program
// ends the section early with ScanAborted. The memory scan also asks the
// callback for IDispatch first.
//
// The environment names its files:
//   OLVEX_SCRIPTED_SCANNER_SCRIPT  lines "<section> <pest id> <location
//                                  string>", section one of memory, registry,
//                                  cookies, common; or "<section> fault":
//                                  the section makes an access violation
//                                  there, after the detections above it
//   OLVEX_SCRIPTED_SCANNER_REPORT  what the callback answered, appended as
//                                  lines: "QueryInterface IDispatch <hresult
//                                  in hex> <null|object>", "PestDetected <id>
//                                  <hresult in hex>", "complete <section>"
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "client/main/test_programs/static_class_factory.h"
#include "olvex/olvex.h"

namespace {

std::string Environment(const char* name) {
    char value[MAX_PATH * 2] = {};
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof(value));
    return length > 0 && length < sizeof(value) ? std::string(value, length) : std::string();
}

void Report(const std::string& line) {
    const std::string path = Environment("OLVEX_SCRIPTED_SCANNER_REPORT");
    if (path.empty())
        return;
    std::ofstream out(path, std::ios::app | std::ios::binary);
    out << line << "\r\n";
}

std::string Hex(HRESULT result) {
    char text[16] = {};
    std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(result));
    return text;
}

BSTR Bstr(const std::string& text) {
    std::wstring wide;
    for (const char c : text)
        wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return SysAllocString(wide.c_str());
}

struct Detection {
    long pest_id = 0;
    std::string location;
    bool fault = false;
};

// A processor fault, as a scanner with a bug in it would make one.
void Fault() {
    volatile int* volatile nowhere = nullptr;
    *nowhere = 1;
}

// The script's detections of one section, in file order.
std::vector<Detection> ScriptedDetections(const std::string& section) {
    std::vector<Detection> detections;
    std::ifstream in(Environment("OLVEX_SCRIPTED_SCANNER_SCRIPT"), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::size_t first = line.find(' ');
        if (first != std::string::npos && line.substr(0, first) == section &&
            line.substr(first + 1) == "fault") {
            detections.push_back({0, {}, true});
            continue;
        }
        const std::size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
        if (second == std::string::npos || line.substr(0, first) != section)
            continue;
        detections.push_back(
            {std::strtol(line.substr(first + 1, second - first - 1).c_str(), nullptr, 10),
             line.substr(second + 1)});
    }
    return detections;
}

class ScriptedScanner final : public IScanner {
  public:
    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
            IsEqualIID(iid, IID_IScanner)) {
            *object = static_cast<IScanner*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // One scanner lives as long as the process: counting never frees it.
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }

    // IDispatch: the program calls the scanner through its table only.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count != nullptr)
            *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

    // The members the program uses.
    HRESULT STDMETHODCALLTYPE get_Callback(IScannerCallback** value) override {
        if (value == nullptr)
            return E_POINTER;
        *value = callback_;
        if (callback_ != nullptr)
            callback_->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Callback(IScannerCallback* value) override {
        // A counted reference, as the engine keeps it.
        if (value != nullptr)
            value->AddRef();
        if (callback_ != nullptr)
            callback_->Release();
        callback_ = value;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE InitializeEx(BSTR, BSTR, BSTR, VARIANT_BOOL* success) override {
        initialized_ = true;
        return Succeed(success);
    }
    HRESULT STDMETHODCALLTYPE Initialize(BSTR, VARIANT_BOOL* success) override {
        initialized_ = true;
        return Succeed(success);
    }
    HRESULT STDMETHODCALLTYPE IsInitialized(VARIANT_BOOL* initialized) override {
        if (initialized != nullptr)
            *initialized = initialized_ ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ScanMemory(VARIANT_BOOL* success) override {
        if (callback_ != nullptr) {
            void* dispatch = reinterpret_cast<void*>(1);
            const HRESULT asked = callback_->QueryInterface(IID_IDispatch, &dispatch);
            Report("QueryInterface IDispatch " + Hex(asked) + " " +
                   (dispatch == nullptr ? "null" : "object"));
            if (SUCCEEDED(asked) && dispatch != nullptr)
                static_cast<IUnknown*>(dispatch)->Release();
        }
        return RunSection("memory", "Memory", success);
    }
    HRESULT STDMETHODCALLTYPE ScanRegistry(VARIANT_BOOL* success) override {
        return RunSection("registry", "Common Registry Locations", success);
    }
    HRESULT STDMETHODCALLTYPE ScanCookies(VARIANT_BOOL* success) override {
        return RunSection("cookies", nullptr, success);
    }
    HRESULT STDMETHODCALLTYPE ScanCommonLocations(VARIANT_BOOL* success) override {
        return RunSection("common", "Common Locations", success);
    }
    HRESULT STDMETHODCALLTYPE ScanFolder(BSTR, VARIANT_BOOL, VARIANT_BOOL* success) override {
        return Succeed(success);
    }
    HRESULT STDMETHODCALLTYPE get_bsLastError(BSTR* value) override {
        if (value != nullptr)
            *value = SysAllocString(L"Success.");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_nLastError(LONG* value) override {
        if (value != nullptr)
            *value = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_bsScanFilters(BSTR) override { return S_OK; }

    // Members the program never calls: accepted and empty.
    HRESULT STDMETHODCALLTYPE get_bMemScanModules(VARIANT_BOOL* value) override {
        return False(value);
    }
    HRESULT STDMETHODCALLTYPE put_bMemScanModules(VARIANT_BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE get_bDeepScan(VARIANT_BOOL* value) override { return False(value); }
    HRESULT STDMETHODCALLTYPE put_bDeepScan(VARIANT_BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE put_bsLastError(BSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE get_bsScanFilters(BSTR* value) override {
        if (value != nullptr)
            *value = SysAllocString(L"*.*");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetFirstDetectedItem(LONG* id, BSTR* location) override {
        return NoItem(id, location);
    }
    HRESULT STDMETHODCALLTYPE GetNextDetectedItem(LONG* id, BSTR* location) override {
        return NoItem(id, location);
    }
    HRESULT STDMETHODCALLTYPE ScanFile(BSTR, VARIANT_BOOL* success) override {
        return Succeed(success);
    }
    HRESULT STDMETHODCALLTYPE get_bsLanguage(BSTR* value) override {
        if (value != nullptr)
            *value = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_bsLanguage(BSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE get_vbDetectCookiesAsFiles(VARIANT_BOOL* value) override {
        return False(value);
    }
    HRESULT STDMETHODCALLTYPE put_vbDetectCookiesAsFiles(VARIANT_BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ScanFolderAsync(BSTR, VARIANT_BOOL, IThreadControl** c) override {
        return NoThread(c);
    }
    HRESULT STDMETHODCALLTYPE ScanCookiesAsync(IThreadControl** c) override { return NoThread(c); }
    HRESULT STDMETHODCALLTYPE ScanCommonLocationsAsync(IThreadControl** c) override {
        return NoThread(c);
    }
    HRESULT STDMETHODCALLTYPE ScanMemoryAsync(IThreadControl** c) override { return NoThread(c); }
    HRESULT STDMETHODCALLTYPE ScanFileAsync(BSTR, IThreadControl** c) override {
        return NoThread(c);
    }
    HRESULT STDMETHODCALLTYPE ScanRegistryAsync(IThreadControl** c) override { return NoThread(c); }
    HRESULT STDMETHODCALLTYPE get_vbLogEnabled(VARIANT_BOOL* value) override {
        return False(value);
    }
    HRESULT STDMETHODCALLTYPE put_vbLogEnabled(VARIANT_BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE get_vbMemScanModules(VARIANT_BOOL* value) override {
        return False(value);
    }
    HRESULT STDMETHODCALLTYPE put_vbMemScanModules(VARIANT_BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE get_vbDeepScan(VARIANT_BOOL* value) override { return False(value); }
    HRESULT STDMETHODCALLTYPE put_vbDeepScan(VARIANT_BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ScanCookiesEx(BSTR, VARIANT_BOOL* success) override {
        return Succeed(success);
    }
    HRESULT STDMETHODCALLTYPE get_vbScanAllUsers(VARIANT_BOOL* value) override {
        return False(value);
    }
    HRESULT STDMETHODCALLTYPE put_vbScanAllUsers(VARIANT_BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ScanFileEx(BSTR, VARIANT_BOOL* is_pest,
                                         VARIANT_BOOL* success) override {
        False(is_pest);
        return Succeed(success);
    }

  private:
    static HRESULT Succeed(VARIANT_BOOL* success) {
        if (success != nullptr)
            *success = VARIANT_TRUE;
        return S_OK;
    }
    static HRESULT False(VARIANT_BOOL* value) {
        if (value != nullptr)
            *value = VARIANT_FALSE;
        return S_OK;
    }
    static HRESULT NoItem(LONG* id, BSTR* location) {
        if (id != nullptr)
            *id = 0;
        if (location != nullptr)
            *location = nullptr;
        return S_OK;
    }
    static HRESULT NoThread(IThreadControl** control) {
        if (control != nullptr)
            *control = nullptr;
        return E_NOTIMPL;
    }

    // One section in the engine's order of events; the cookie scan names no
    // section.
    HRESULT RunSection(const std::string& section, const char* word, VARIANT_BOOL* success) {
        if (callback_ != nullptr) {
            const BSTR section_word = word != nullptr ? Bstr(word) : nullptr;
            if (section_word != nullptr)
                callback_->StartingItem(section_word);
            bool stopped = false;
            for (const Detection& detection : ScriptedDetections(section)) {
                if (detection.fault) {
                    Report("fault " + section);
                    Fault();
                }
                VARIANT_BOOL go_on = VARIANT_TRUE;
                callback_->ShouldScanContinue(&go_on);
                if (go_on == VARIANT_FALSE) {
                    stopped = true;
                    break;
                }
                const BSTR location = Bstr(detection.location);
                const BSTR notice = Bstr("IScanner::DetectPest invoked.");
                callback_->StartingItem(location);
                callback_->VerboseInformation(notice);
                const HRESULT detected = callback_->PestDetected(detection.pest_id, location);
                Report("PestDetected " + std::to_string(detection.pest_id) + " " + Hex(detected));
                callback_->FinishedItem(location);
                SysFreeString(notice);
                SysFreeString(location);
            }
            if (section_word != nullptr)
                callback_->FinishedItem(section_word);
            if (stopped) {
                const BSTR reason = Bstr("Aborted by user.");
                callback_->ScanAborted(reason);
                SysFreeString(reason);
            }
            callback_->ScanComplete();
            SysFreeString(section_word);
        }
        Report("complete " + section);
        return Succeed(success);
    }

    std::atomic<ULONG> references_{0};
    IScannerCallback* callback_ = nullptr;
    bool initialized_ = false;
};

class ScannerFactory final : public olvex::StaticClassFactory {
  public:
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (object == nullptr)
            return E_POINTER;
        *object = nullptr;
        if (outer != nullptr)
            return CLASS_E_NOAGGREGATION;
        static ScriptedScanner scanner;
        return scanner.QueryInterface(iid, object);
    }
};

ScannerFactory g_factory;

}  // namespace

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_Scanner))
        return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(iid, object);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return S_FALSE;
}
