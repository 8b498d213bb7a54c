// A processor fault inside a piece of work on a worker thread, caught on that
// thread only: the work runs below a structured exception handler of its
// own, so that an access violation (or another processor fault) that nothing
// below it handled ends the work there instead of the whole program. No
// process-wide filter is involved, and the handler exists only while the
// work runs.
//
// The stack of the abandoned work is dropped without running its
// destructors: keep what must survive (results, counts) outside it, and give
// the work nothing that a lock held across the fault would block.
#pragma once

namespace olvex {

// Runs function(context) on this thread; false when a processor fault ended
// it. C++ exceptions are not caught here: let the function catch its own.
bool RunCatchingProcessorFaults(void (*function)(void*), void* context);

}  // namespace olvex
