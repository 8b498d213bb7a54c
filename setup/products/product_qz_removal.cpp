#include "setup/products/product_qz_removal.h"

#include <windows.h>
#include <mstask.h>
#include <objbase.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "client/common/engine_registrar.h"
#include "setup/core/path_text.h"
#include "setup/core/system_utilities.h"
#include "setup/core/win_text.h"
#include "setup/products/close_programs.h"
#include "setup/products/product_base.h"

namespace olvex::setup::qz {
namespace {

constexpr uint32_t kStillRunning = 9023;
// A program whose window went may take a while to let go of its files.
constexpr uint32_t kEndWaitMs = 10000;
constexpr uint32_t kEndPollMs = 200;

std::u16string WithoutExtension(std::u16string_view file) {
    const size_t dot = file.rfind(u'.');
    return std::u16string(dot == std::u16string_view::npos ? file : file.substr(0, dot));
}

bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (size_t i = 0; i < prefix.size(); ++i) {
        const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
        if (lower(text[i]) != lower(prefix[i])) {
            return false;
        }
    }
    return true;
}

bool IsRunning(const ProductProgram& program) {
    return util::FindProcessId(WithoutExtension(program.process)) != 0;
}

// Wide text to the ANSI code page, for the engine registrar.
std::string Narrow(std::u16string_view text) {
    return util::WideToNarrow(text);
}

// "<common files>\Scanner\olvex.dll"; empty when the system names no such folder.
std::u16string SharedEngineCopy() {
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES_COMMON, nullptr, 0, folder))) {
        return {};
    }
    const auto path = util::AppendPath(U(folder), u"Scanner\\olvex.dll");
    return path.value_or(u"");
}

// How many products other than this one keep the engine: subkeys of
// HKCR\olvex other than "CurrentVersion".
DWORD OtherEngineUsers() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L"olvex", 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return 0;
    }
    DWORD users = 0;
    for (DWORD index = 0;; ++index) {
        wchar_t name[1025] = {};
        DWORD length = static_cast<DWORD>(std::size(name));
        const LONG error =
            RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (error != ERROR_SUCCESS) {
            break;
        }
        if (length != 0 && lstrcmpiW(name, L"CurrentVersion") != 0) {
            ++users;
        }
    }
    RegCloseKey(key);
    return users;
}

class ComScope {
  public:
    ComScope() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(result_)) {
            CoUninitialize();
        }
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

  private:
    HRESULT result_;
};

}  // namespace

bool IsProductScanJob(std::u16string_view listed_name) {
    return StartsWithIgnoringCase(listed_name, kScanJobPrefix);
}

std::u16string JobNameForDelete(std::u16string_view listed_name) {
    constexpr std::u16string_view kExtension = u".job";
    if (listed_name.size() > kExtension.size() &&
        StartsWithIgnoringCase(listed_name.substr(listed_name.size() - kExtension.size()),
                               kExtension)) {
        listed_name.remove_suffix(kExtension.size());
    }
    return std::u16string(listed_name);
}

uint32_t CloseProductPrograms() {
    for (const ProductProgram& program : kProductPrograms) {
        CloseWindowByTitle(u"", program.title, WM_CLOSE, program.tries);
    }
    // Their windows are gone: give the processes time to end.
    const uint64_t start = util::ClockMilliseconds();
    for (;;) {
        bool any = false;
        for (const ProductProgram& program : kProductPrograms) {
            any = any || IsRunning(program);
        }
        if (!any || util::ClockMilliseconds() - start >= kEndWaitMs) {
            break;
        }
        util::SleepMilliseconds(kEndPollMs);
    }
    uint32_t result = 0;
    for (const ProductProgram& program : kProductPrograms) {
        if (IsRunning(program)) {
            ReportProductMessage(25526, program.process, 3, 3, kStillRunning);
            result = kStillRunning;
        }
    }
    return result;
}

void RemoveStartUpEntries() {
    util::DeleteRegistryValue(HKEY_LOCAL_MACHINE, kRunKey, kProtectionRunValue);

    const ComScope com;
    ITaskScheduler* scheduler = nullptr;
    if (FAILED(CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ITaskScheduler, reinterpret_cast<void**>(&scheduler))) ||
        scheduler == nullptr) {
        return;
    }
    // Names first, deletions after: the enumeration holds the folder's list.
    std::vector<std::u16string> jobs;
    IEnumWorkItems* items = nullptr;
    if (SUCCEEDED(scheduler->Enum(&items)) && items != nullptr) {
        for (;;) {
            LPWSTR* batch = nullptr;
            ULONG fetched = 0;
            if (items->Next(16, &batch, &fetched) != S_OK && fetched == 0) {
                break;
            }
            for (ULONG i = 0; i < fetched; ++i) {
                const std::u16string name = U(batch[i]);
                if (IsProductScanJob(name)) {
                    jobs.push_back(JobNameForDelete(name));
                }
                CoTaskMemFree(batch[i]);
            }
            CoTaskMemFree(batch);
            if (fetched == 0) {
                break;
            }
        }
        items->Release();
    }
    for (const std::u16string& job : jobs) {
        scheduler->Delete(W(job));
    }
    scheduler->Release();
}

void RemoveEngineRegistration(std::u16string_view program_folder) {
    const CEngineRegistrar registrar;
    const std::u16string shared = SharedEngineCopy();
    const std::string registered = CEngineRegistrar::GetRegisteredEnginePath();
    const std::u16string program_copy =
        util::AppendPath(program_folder, u"olvex.dll").value_or(u"");
    // The counterpart of the programs' start-up step: this product's key
    // goes, and the shared copy with its registration when it is the
    // registered engine and no other product keeps it.
    const bool removed = registrar.RemoveEngineVersion(kEngineVersionKeyName, Narrow(shared));
    if (OtherEngineUsers() != 0) {
        // Another product runs on this engine: when it was registered from
        // this product's folder, which is about to go, the shared copy
        // takes its place.
        if (!program_copy.empty() && !shared.empty() && util::FileExists(shared) &&
            util::ComparePaths(util::NarrowToWide(registered), program_copy, true)) {
            registrar.RegisterDll(Narrow(shared));
        }
        return;
    }
    if (!removed && !registered.empty()) {
        // Registered from elsewhere than the path given (the program's own
        // copy): unregister it here so nothing of it outlives the product;
        // the package takes the file itself.
        registrar.UnregisterDll(registered);
    }
    if (!shared.empty()) {
        util::DeleteFileNowOrAtReboot(shared);
        const size_t slash = shared.rfind(u'\\');
        util::RemoveEmptyDirectories(shared.substr(0, slash), false);
    }
}

}  // namespace olvex::setup::qz
