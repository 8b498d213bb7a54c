#include "client/common/named_mutex.h"

namespace olvex {

NamedMutex ClaimNamedMutex(const std::string& name) {
    NamedMutex result;
    win::UniqueHandle mutex(CreateMutexA(nullptr, FALSE, name.c_str()));
    const DWORD error = GetLastError();
    if (!mutex) {
        result.claim = error == ERROR_ACCESS_DENIED ? MutexClaim::kDenied : MutexClaim::kFailed;
        return result;
    }
    if (error == ERROR_ALREADY_EXISTS) {
        result.claim = MutexClaim::kExists;
        return result;  // closed here: the other program keeps it alive
    }
    result.claim = MutexClaim::kClaimed;
    result.handle = std::move(mutex);
    return result;
}

win::UniqueHandle OpenOrCreateMutex(const std::string& name) {
    return win::UniqueHandle(CreateMutexA(nullptr, FALSE, name.c_str()));
}

MutexLock::MutexLock(HANDLE mutex, DWORD timeout_ms) : mutex_(mutex) {
    if (mutex_ == nullptr)
        return;
    const DWORD wait = WaitForSingleObject(mutex_, timeout_ms);
    locked_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    timed_out_ = wait == WAIT_TIMEOUT;
}

MutexLock::~MutexLock() {
    if (locked_)
        ReleaseMutex(mutex_);
}

}  // namespace olvex
