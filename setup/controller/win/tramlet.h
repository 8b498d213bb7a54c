// The setup controller's run: the options and the log, the mutexes that
// keep its modes apart, the hidden main window, the worker thread that runs
// the operation while the main thread waits, and the restart at the end.
// The product handlers come from the factory the program passes in.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "setup/controller/product.h"

namespace olvex::setup {

inline constexpr UINT kOperationFinished = 0x1406;

// 0, or 9044 when another install or uninstall runs. Cleanups wait for
// each other; `held` is the mutex to release at the end (cleanup only).
uint32_t AcquireModeMutex(int32_t mode, HANDLE& held);

// The whole run; the process's exit code.
int RunTramlet(ProductFactory& products);

}  // namespace olvex::setup
