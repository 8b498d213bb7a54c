// Keeps the engine DLL current before a client program creates its objects.
// Client programs never link against the engine; they make sure the newest
// copy on the machine is the registered one: the copy in the program's
// folder and the shared copy in "<common program files>\Scanner" are kept in
// step, the newer is registered by loading it and calling its
// DllRegisterServer, and each program records itself in a key of its own
// under HKEY_CLASSES_ROOT\olvex.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace olvex {

inline constexpr char kEngineDllName[] = "olvex.dll";
inline constexpr char kEngineScannerProgId[] = "olvex.Scanner";
inline constexpr char kSharedEngineFolderName[] = "Scanner";
// The version key name every Kelvan Gorsewatch program registers under.
inline constexpr char kProductVersionKeyName[] = "KelvanGorsewatch";

struct SharedEngineFolder {
    std::optional<std::string> path;  // "<common program files>\Scanner", no trailing backslash
    unsigned long error = 0;          // the system's error code when it could not be made
};

// "<common program files>\Scanner", made when missing (an existing folder is
// fine). Without a common program-files folder: no path and error 0.
SharedEngineFolder MakeSharedEngineFolder();

// The system's own words for why the shared engine folder could not be made
// (error non-zero), or the error's number when the system has none.
std::wstring SharedEngineFolderErrorText(unsigned long error);

class CEngineRegistrar {
  public:
    // First finishes an engine swap that the swap stub left unfinished (its
    // RunOnce command, run and waited for). Then makes the newer of
    // program_copy and shared_copy (or the registered DLL,
    // when that is newer still) the registered engine and makes sure the key
    // "olvex\<version_key_name>" exists. False when a needed copy,
    // the registration or the key failed.
    bool EnsureCurrentEngine(const std::string& version_key_name, const std::string& program_copy,
                             const std::string& shared_copy) const;

    // Finishes an engine swap that the swap stub left unfinished (killed,
    // a power cut, the older DLL in use): the stub keeps its own command as
    // the RunOnce value "qzupdstub" while it works; that command is run (only
    // when it starts Swavel.exe, the value deleted first, as Windows does)
    // and waited for. Waits first while a stub runs.
    static void FinishEngineSwap();

    // Undoes EnsureCurrentEngine for one program: removes its version key and,
    // when dll_path is the registered engine and no other program's key
    // remains, unregisters the DLL and deletes it. True only in that last case.
    bool RemoveEngineVersion(const std::string& version_key_name,
                             const std::string& dll_path) const;

    // Keeps the two copies in step: the newer overwrites the older; a missing
    // shared copy is made from the program's. False only when a needed copy
    // failed.
    bool SyncEngineCopies(const std::string& program_copy, const std::string& shared_copy) const;

    // Loads the DLL and calls its DllRegisterServer / DllUnregisterServer;
    // true when that answered S_OK. The DLL is always unloaded again, so the
    // file is never left locked.
    bool RegisterDll(const std::string& path) const;
    bool UnregisterDll(const std::string& path) const;

    // True when "olvex\<name>" exists or was made. The name is one key name.
    bool EnsureVersionKey(const std::string& version_key_name) const;

    // The file version (dwFileVersionMS in the high half, dwFileVersionLS in
    // the low); 0 when the file has none or cannot be read.
    static std::uint64_t GetFileVersion64(const std::string& path);

    // The DLL that "olvex.Scanner" is registered to; empty on any failure.
    static std::string GetRegisteredEnginePath();
};

}  // namespace olvex
