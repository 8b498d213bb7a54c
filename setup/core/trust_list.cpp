#include "setup/core/trust_list.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "setup/core/path_text.h"
#include "setup/core/system_utilities.h"
#include "setup/core/win_text.h"

namespace olvex::setup {
namespace {

constexpr char16_t kLibraryName[] = u"cvpubapi.dll";

template <class Function>
Function Resolve(HMODULE library, trust::GetProcAddressFunction own, const char* name) {
    void* address = own ? own(name) : nullptr;
    if (!address && !own) {
        address = reinterpret_cast<void*>(GetProcAddress(library, name));
    }
    return reinterpret_cast<Function>(address);
}

// Frees what the library handed out, on every path.
class LibraryMemory {
  public:
    LibraryMemory(trust::FreePtrFunction free_ptr, void* pointer)
        : free_ptr_(free_ptr), pointer_(pointer) {}
    ~LibraryMemory() {
        if (pointer_) {
            free_ptr_(pointer_);
        }
    }
    LibraryMemory(const LibraryMemory&) = delete;
    LibraryMemory& operator=(const LibraryMemory&) = delete;

  private:
    trust::FreePtrFunction free_ptr_;
    void* pointer_;
};

}  // namespace

uint32_t TrustListApi::Load(bool retry) {
    Unload();
    std::u16string system(MAX_PATH, u'\0');
    const UINT length = GetSystemDirectoryW(W(system), MAX_PATH);
    system.resize(length < MAX_PATH ? length : 0);
    if (!system.empty()) {
        util::EnsureTrailingChar(system, u'\\', 32768);
    }
    const std::u16string path = system + kLibraryName;
    const UINT previous = SetErrorMode(SEM_NOOPENFILEERRORBOX);
    library_.reset(LoadLibraryW(W(path)));
    SetErrorMode(previous);
    if (!library_) {
        return kTrustNoLibrary;
    }
    // Every function is bound before the library is initialised, so that a
    // library without one is never left initialised.
    const HMODULE module = library_.get();
    const auto own = reinterpret_cast<trust::GetProcAddressFunction>(
        reinterpret_cast<void*>(GetProcAddress(module, "tvGetProcAddress")));
    initialize_ = reinterpret_cast<trust::InitializeFunction>(
        reinterpret_cast<void*>(GetProcAddress(module, "tvInitialize")));
    get_app_list_ = Resolve<trust::GetAppListFunction>(module, own, "tvGetAppList");
    get_app_properties_ =
        Resolve<trust::GetAppPropertiesFunction>(module, own, "tvGetAppProperties");
    free_ptr_ = Resolve<trust::FreePtrFunction>(module, own, "tvFreePtr");
    del_app_ = Resolve<trust::DelAppFunction>(module, own, "tvDelApp");
    new_app_ = Resolve<trust::NewAppFunction>(module, own, "tvNewApp");
    get_app_perms_ = Resolve<trust::GetAppPermsFunction>(module, own, "tvGetAppPerms");
    set_app_perms_ = Resolve<trust::SetAppPermsFunction>(module, own, "tvSetAppPerms");
    terminate_ = Resolve<trust::TerminateFunction>(module, own, "tvTerminate");
    if (!initialize_ || !get_app_list_ || !get_app_properties_ || !free_ptr_ || !del_app_ ||
        !new_app_ || !get_app_perms_ || !set_app_perms_ || !terminate_) {
        Unload();
        return kTrustMissingFunction;
    }
    trust::InitRecord record;
    void* handle = nullptr;
    if (initialize_(&record, &handle) == 0) {
        record.flags = (record.flags & trust::kRetryFlagsKeep) | trust::kRetryFlagsSet;
        handle = nullptr;
        if (!retry || initialize_(&record, &handle) == 0) {
            Unload();
            return kTrustInitializationRefused;
        }
    }
    handle_ = handle;
    initialized_ = true;
    return kTrustDone;
}

uint32_t TrustListApi::FindOrAddProgram(bool replace, std::u16string_view path, uint32_t& id,
                                        trust::PermissionRecord& permissions) {
    permissions = trust::PermissionRecord{};
    trust::ProgramList* list = nullptr;
    if (get_app_list_(handle_, 0, &list) == 0) {
        return kTrustNoProgramList;
    }
    const LibraryMemory free_list(free_ptr_, list);
    const std::string ansi = util::WideToNarrow(path);
    bool listed = false;
    bool unreadable = false;
    const uint32_t count = list ? list->count : 0;
    for (uint32_t i = 0; i < count && !listed; ++i) {
        const uint32_t candidate = list->ids[i];
        trust::ProgramProperties* properties = nullptr;
        if (get_app_properties_(handle_, 0, candidate, trust::kPropertiesKind, &properties) == 0) {
            unreadable = true;
            continue;
        }
        const LibraryMemory free_properties(free_ptr_, properties);
        if (properties && properties->path && lstrcmpiA(properties->path, ansi.c_str()) == 0) {
            listed = true;
            id = candidate;
        }
    }
    if (!listed && unreadable) {
        // The entry that could not be read may be this program's: adding it
        // again would list it twice.
        return kTrustNoProperties;
    }
    if (listed && replace) {
        if (del_app_(handle_, 0, id) == 0) {
            return kTrustDeleteFailed;
        }
        listed = false;
    }
    if (!listed) {
        trust::NewProgramRecord record;
        record.path = ansi.c_str();
        return new_app_(handle_, 0, &record, &id) == 0 ? kTrustCreateFailed : kTrustDone;
    }
    permissions.words[0] = sizeof(trust::PermissionRecord);
    return get_app_perms_(handle_, 0, id, trust::kPermissionsKind, &permissions) == 0
               ? kTrustPermissionsUnreadable
               : kTrustDone;
}

uint32_t TrustListApi::ApplyPermissions(const PermissionRow& row, int32_t value, uint32_t id,
                                        trust::PermissionRecord& permissions) {
    PermissionWords words;
    std::copy(std::begin(permissions.words), std::end(permissions.words), words.begin());
    if (!MergePermissionRow(row, value, words)) {
        return kTrustDone;
    }
    std::copy(words.begin(), words.end(), std::begin(permissions.words));
    return set_app_perms_(handle_, 0, id, trust::kPermissionsKind, &permissions) == 0
               ? kTrustPermissionsUnwritten
               : kTrustDone;
}

void TrustListApi::Unload() {
    if (initialized_ && terminate_) {
        terminate_(handle_, trust::kTerminateFlags);
    }
    initialized_ = false;
    handle_ = nullptr;
    library_.reset();
}

uint32_t AddProgramToTrustList(std::u16string_view path, bool replace, int32_t value, bool retry,
                               const PermissionRow& row) {
    if (!util::FileExists(path)) {
        return kTrustDone;
    }
    TrustListApi api;
    uint32_t code = api.Load(retry);
    uint32_t id = 0;
    trust::PermissionRecord permissions;
    if (code == kTrustDone) {
        code = api.FindOrAddProgram(replace, path, id, permissions);
    }
    if (code == kTrustDone) {
        code = api.ApplyPermissions(row, value, id, permissions);
    }
    api.Unload();
    return code;
}

}  // namespace olvex::setup
