// What setup expects of the firewall engine's trust-list library
// "cvpubapi.dll": its nine functions and the records they exchange. Fields
// that hold pointers are pointer-sized, and every record states its own
// size in its first word, so the same definitions serve 32-bit and 64-bit
// builds.
#pragma once

#include <cstdint>

namespace olvex::setup::trust {

inline constexpr uint32_t kInitialFlags = 0x8102FFFF;
// A refused initialisation is tried once more with these flag changes.
inline constexpr uint32_t kRetryFlagsKeep = 0x5BFFFFFF;
inline constexpr uint32_t kRetryFlagsSet = 0x24000000;
inline constexpr uint32_t kPropertiesKind = 9;
inline constexpr uint32_t kPermissionsKind = 1;
inline constexpr uint32_t kTerminateFlags = 8;

struct InitRecord {
    uint32_t size = sizeof(InitRecord);
    uint32_t flags = kInitialFlags;
    uint32_t reserved2 = 0;
    uint32_t reserved3 = 0;
    uint32_t word4 = 4;
    uint32_t reserved5 = 0;
    uint32_t word6 = 23;
    uint32_t reserved[9] = {};
};
static_assert(sizeof(InitRecord) == 64);

struct NewProgramRecord {
    uint32_t size = sizeof(NewProgramRecord);
    const char* path = nullptr;  // the program's full path, ANSI
    uint32_t reserved[8] = {};
};

struct PermissionRecord {
    uint32_t words[21] = {sizeof(PermissionRecord)};
};
static_assert(sizeof(PermissionRecord) == 84);

// Returned by the library, freed with tvFreePtr.
struct ProgramList {
    uint32_t size;
    uint32_t count;
    uint32_t ids[1];  // count ids
};

struct ProgramProperties {
    uint32_t size;
    const char* path;  // ANSI
};

// Every function returns 0 for failure.
using InitializeFunction = int(__cdecl*)(InitRecord* record, void** handle);
using GetAppListFunction = int(__cdecl*)(void* handle, uint32_t reserved, ProgramList** list);
using GetAppPropertiesFunction = int(__cdecl*)(void* handle, uint32_t reserved, uint32_t id,
                                               uint32_t kind, ProgramProperties** properties);
using FreePtrFunction = int(__cdecl*)(void* pointer);
using DelAppFunction = int(__cdecl*)(void* handle, uint32_t reserved, uint32_t id);
using NewAppFunction = int(__cdecl*)(void* handle, uint32_t reserved,
                                     const NewProgramRecord* record, uint32_t* id);
using GetAppPermsFunction = int(__cdecl*)(void* handle, uint32_t reserved, uint32_t id,
                                          uint32_t kind, PermissionRecord* permissions);
using SetAppPermsFunction = int(__cdecl*)(void* handle, uint32_t reserved, uint32_t id,
                                          uint32_t kind, const PermissionRecord* permissions);
using TerminateFunction = int(__cdecl*)(void* handle, uint32_t flags);
using GetProcAddressFunction = void*(__cdecl*)(const char* name);

}  // namespace olvex::setup::trust
