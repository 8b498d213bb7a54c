// The named mutexes by which the client programs keep out of each other's
// way: claiming one (a program's single instance, the activity mutexes of a
// scan) and holding one around a shared file.
#pragma once

#include <windows.h>

#include <string>

#include "win/unique.h"

namespace olvex {

// Exists while a scan or clean runs (any program).
inline constexpr char kPestActivityMutexName[] = "GorsewatchV5PestActivity";
// Exists while a scan window is open or the command-line scanner scans.
inline constexpr char kScannerWindowMutexName[] = "Gorsewatch5ScannerWindow";
// Guards reading the whole activity log and rewriting it.
inline constexpr char kActivityLogMutexName[] = "Gorsewatchv5LogMutex";

enum class MutexClaim {
    kClaimed,  // this process made it
    kExists,   // another process has it: give way
    kDenied,   // it exists and this account may not open it: give way too
    kFailed,   // it could not be made
};

struct NamedMutex {
    MutexClaim claim = MutexClaim::kFailed;
    win::UniqueHandle handle;  // open only when claimed; it exists as long as this does
};

// Makes the named mutex (not owned). Anything but kClaimed means another
// program got there first or the mutex cannot be had: the caller gives way.
NamedMutex ClaimNamedMutex(const std::string& name);

// Opens the named mutex, making it when no program has it yet; null on
// failure.
win::UniqueHandle OpenOrCreateMutex(const std::string& name);

// Holds a mutex for its lifetime. Waits without a time limit, as every
// program holds these only for a short file operation; a mutex left by a
// program that died while holding it is taken over.
class MutexLock {
  public:
    explicit MutexLock(HANDLE mutex, DWORD timeout_ms = INFINITE);
    ~MutexLock();
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

    bool locked() const { return locked_; }
    // The wait with a time limit ran out: another program holds it still.
    bool timed_out() const { return timed_out_; }

  private:
    HANDLE mutex_;
    bool locked_ = false;
    bool timed_out_ = false;
};

}  // namespace olvex
