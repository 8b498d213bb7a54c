// Registration of the engine DLL as an in-process server, guarded by the
// version kept under HKEY_CLASSES_ROOT\olvex so that an older copy of the
// engine never replaces the registration of a newer one.
#pragma once

#include <windows.h>

#include <string>

#include "olvex/core/dotted_version.h"

namespace olvex {

inline constexpr char kVersionKeyName[] = "olvex";
inline constexpr char kVersionKeyDefault[] = "Gorsewatch COM Control";
inline constexpr char kCurrentVersionValue[] = "CurrentVersion";
// Every class is registered for both apartment kinds: the objects guard
// their own state and may be called from the asynchronous scan threads.
inline constexpr wchar_t kThreadingModel[] = L"Both";

// This module's version, "5.6.7.4" (engine_version.cpp: a test build of the
// engine under another version links its own).
const char* EngineVersionText();
DottedVersion EngineVersion();

// "CurrentVersion" of the version key: true only when it exists and is a
// REG_SZ of at most 32 bytes.
bool ReadRegisteredVersion(std::string& text);
// Creates the version key with its default text and "CurrentVersion"; false
// when either cannot be written.
bool WriteRegisteredVersion(const std::string& text);

// DllRegisterServer: S_OK without registering when a newer engine is
// registered and its DLL still exists; otherwise the classes, their ProgIDs
// and the type library, and then the version key (E_UNEXPECTED when it
// cannot be written).
HRESULT RegisterEngineServer();

// DllUnregisterServer: E_UNEXPECTED, with nothing removed, when the version
// key has a subkey; the key stays when the process is the engine swap stub
// "Swavel.exe". Then everything registration wrote.
HRESULT UnregisterEngineServer();

}  // namespace olvex
