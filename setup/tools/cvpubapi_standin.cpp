// A stand-in for the firewall engine's trust-list library "cvpubapi.dll",
// built from what setup expects of it. It keeps one key per program under
// HKLM\SOFTWARE\Tessaly Labs\Tessaly\TrustList\<id> with "Path" (REG_SZ)
// and "Perms" (REG_BINARY, the 84-byte permission record). In the TrustList
// key it counts tvInitialize calls in "Calls", tvSetAppPerms calls in
// "PermWrites" and tvTerminate calls in "Terminations", keeps the next id
// in "NextId" (an id is never given twice), and refuses the
// first n initialisations while "RefuseInit" holds n (counting it down).
// Built a second time without tvSetAppPerms (STANDIN_NO_SET_PERMS).
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "setup/core/trust_list_library.h"

namespace {

namespace trust = olvex::setup::trust;

constexpr char kListKey[] = "SOFTWARE\\Tessaly Labs\\Tessaly\\TrustList";

// The one session handle this library hands out.
int g_session_marker = 0;
bool g_initialized = false;

bool ValidHandle(void* handle) {
    return handle == &g_session_marker && g_initialized;
}

HKEY OpenList() {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kListKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return nullptr;
    }
    return key;
}

DWORD ReadCounter(HKEY key, const char* name) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    DWORD type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD) {
        return 0;
    }
    return value;
}

void WriteCounter(HKEY key, const char* name, DWORD value) {
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

void CountCall(const char* name) {
    const HKEY list = OpenList();
    if (list) {
        WriteCounter(list, name, ReadCounter(list, name) + 1);
        RegCloseKey(list);
    }
}

// The programs' ids: the numeric names of the list's subkeys.
std::vector<uint32_t> ProgramIds(HKEY list) {
    std::vector<uint32_t> ids;
    char name[64];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof(name);
        if (RegEnumKeyExA(list, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        ids.push_back(static_cast<uint32_t>(strtoul(name, nullptr, 10)));
    }
    return ids;
}

std::string ProgramKey(uint32_t id) {
    return std::string(kListKey) + "\\" + std::to_string(id);
}

bool ReadPath(uint32_t id, std::string& path) {
    char buffer[MAX_PATH * 4] = {};
    DWORD size = sizeof(buffer) - 1;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, ProgramKey(id).c_str(), "Path", RRF_RT_REG_SZ, nullptr,
                     buffer, &size) != ERROR_SUCCESS) {
        return false;
    }
    path = buffer;
    return true;
}

void* Allocate(size_t size) {
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
}

}  // namespace

extern "C" {

int __cdecl tvInitialize(trust::InitRecord* record, void** handle) {
    if (!handle) {
        return 0;
    }
    *handle = nullptr;
    const HKEY list = OpenList();
    if (!list) {
        return 0;
    }
    WriteCounter(list, "Calls", ReadCounter(list, "Calls") + 1);
    const DWORD refuse = ReadCounter(list, "RefuseInit");
    if (refuse > 0) {
        WriteCounter(list, "RefuseInit", refuse - 1);
    }
    RegCloseKey(list);
    if (refuse > 0 || !record || record->size != sizeof(trust::InitRecord)) {
        return 0;
    }
    g_initialized = true;
    *handle = &g_session_marker;
    return 1;
}

int __cdecl tvGetAppList(void* handle, uint32_t, trust::ProgramList** list) {
    if (!ValidHandle(handle) || !list) {
        return 0;
    }
    const HKEY key = OpenList();
    if (!key) {
        return 0;
    }
    const std::vector<uint32_t> ids = ProgramIds(key);
    RegCloseKey(key);
    auto* result = static_cast<trust::ProgramList*>(
        Allocate(sizeof(trust::ProgramList) + ids.size() * sizeof(uint32_t)));
    if (!result) {
        return 0;
    }
    result->size =
        static_cast<uint32_t>(sizeof(trust::ProgramList) + ids.size() * sizeof(uint32_t));
    result->count = static_cast<uint32_t>(ids.size());
    for (size_t i = 0; i < ids.size(); ++i) {
        result->ids[i] = ids[i];
    }
    *list = result;
    return 1;
}

int __cdecl tvGetAppProperties(void* handle, uint32_t, uint32_t id, uint32_t kind,
                               trust::ProgramProperties** properties) {
    std::string path;
    if (!ValidHandle(handle) || !properties || kind != trust::kPropertiesKind ||
        !ReadPath(id, path)) {
        return 0;
    }
    auto* result = static_cast<trust::ProgramProperties*>(
        Allocate(sizeof(trust::ProgramProperties) + path.size() + 1));
    if (!result) {
        return 0;
    }
    char* text = reinterpret_cast<char*>(result + 1);
    memcpy(text, path.c_str(), path.size() + 1);
    result->size = sizeof(trust::ProgramProperties);
    result->path = text;
    *properties = result;
    return 1;
}

int __cdecl tvFreePtr(void* pointer) {
    return pointer && HeapFree(GetProcessHeap(), 0, pointer) ? 1 : 0;
}

int __cdecl tvDelApp(void* handle, uint32_t, uint32_t id) {
    if (!ValidHandle(handle)) {
        return 0;
    }
    return RegDeleteKeyA(HKEY_LOCAL_MACHINE, ProgramKey(id).c_str()) == ERROR_SUCCESS ? 1 : 0;
}

int __cdecl tvNewApp(void* handle, uint32_t, const trust::NewProgramRecord* record, uint32_t* id) {
    if (!ValidHandle(handle) || !record || !id || record->size != sizeof(trust::NewProgramRecord) ||
        !record->path || !record->path[0]) {
        return 0;
    }
    const HKEY list = OpenList();
    if (!list) {
        return 0;
    }
    const std::vector<uint32_t> ids = ProgramIds(list);
    // Ids are never used twice, also after a deletion.
    uint32_t next = std::max<uint32_t>(ReadCounter(list, "NextId"), 1);
    for (const uint32_t existing : ids) {
        std::string path;
        // Paths compare without case: a program is listed once.
        if (ReadPath(existing, path) && lstrcmpiA(path.c_str(), record->path) == 0) {
            RegCloseKey(list);
            *id = existing;
            return 1;
        }
        next = std::max(next, existing + 1);
    }
    WriteCounter(list, "NextId", next + 1);
    RegCloseKey(list);
    HKEY program = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, ProgramKey(next).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &program,
                        nullptr) != ERROR_SUCCESS) {
        return 0;
    }
    trust::PermissionRecord permissions;
    RegSetValueExA(program, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(record->path),
                   static_cast<DWORD>(strlen(record->path) + 1));
    RegSetValueExA(program, "Perms", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&permissions),
                   sizeof(permissions));
    RegCloseKey(program);
    *id = next;
    return 1;
}

int __cdecl tvGetAppPerms(void* handle, uint32_t, uint32_t id, uint32_t kind,
                          trust::PermissionRecord* permissions) {
    if (!ValidHandle(handle) || !permissions || kind != trust::kPermissionsKind ||
        permissions->words[0] != sizeof(trust::PermissionRecord)) {
        return 0;
    }
    trust::PermissionRecord stored;
    DWORD size = sizeof(stored);
    if (RegGetValueA(HKEY_LOCAL_MACHINE, ProgramKey(id).c_str(), "Perms", RRF_RT_REG_BINARY,
                     nullptr, &stored, &size) != ERROR_SUCCESS ||
        size != sizeof(stored)) {
        return 0;
    }
    *permissions = stored;
    permissions->words[0] = sizeof(trust::PermissionRecord);
    return 1;
}

#ifndef STANDIN_NO_SET_PERMS
int __cdecl tvSetAppPerms(void* handle, uint32_t, uint32_t id, uint32_t kind,
                          const trust::PermissionRecord* permissions) {
    if (!ValidHandle(handle) || !permissions || kind != trust::kPermissionsKind ||
        permissions->words[0] != sizeof(trust::PermissionRecord)) {
        return 0;
    }
    HKEY program = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ProgramKey(id).c_str(), 0, KEY_SET_VALUE, &program) !=
        ERROR_SUCCESS) {
        return 0;
    }
    const LONG written =
        RegSetValueExA(program, "Perms", 0, REG_BINARY, reinterpret_cast<const BYTE*>(permissions),
                       sizeof(*permissions));
    RegCloseKey(program);
    CountCall("PermWrites");
    return written == ERROR_SUCCESS ? 1 : 0;
}
#endif

int __cdecl tvTerminate(void* handle, uint32_t) {
    if (!ValidHandle(handle)) {
        return 0;
    }
    g_initialized = false;
    CountCall("Terminations");
    return 1;
}

void* __cdecl tvGetProcAddress(const char* name) {
    HMODULE self = nullptr;
    GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<const char*>(&tvGetProcAddress), &self);
    return self ? reinterpret_cast<void*>(GetProcAddress(self, name)) : nullptr;
}

}  // extern "C"
