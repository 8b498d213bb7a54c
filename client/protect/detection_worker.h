// `DetectionThreadProc`: the background scan's worker thread. It makes its
// own engine objects and then, in passes that start at least ten seconds
// apart while no foreground scan runs, scans memory and cookies (as the
// window's boxes say at that moment) through the protection's scanner
// callback, advises a standard scan after a find in memory, and moves the
// scripted remover's clean log into the activity log. It ends when the
// scan-continue flag is down at the end of a pass or while it readies the
// exterminator, or after a failure it has told the user about; the timer
// then makes a new one.
//
// It never sends to the window's thread: the options come from the
// application's flags, which the window keeps current, so a stop that waits
// for it never waits on itself.
#pragma once

#include <windows.h>

#include <string>

#include "win/unique.h"

namespace olvex::protect {

class CWakenorApp;

// Starts the worker below normal priority; a null handle when it could not
// be started.
win::UniqueHandle StartDetectionWorker(CWakenorApp& app);

// Appends "qzcleanlog.csv" of the install folder whole to the activity log
// under the log mutex and deletes it once it is there; an empty one, one
// that cannot be read and one whose append failed stay where they are.
// True when it was moved.
bool MoveCleanLogIntoActivityLog(const std::string& install_folder, const std::string& log_path);

}  // namespace olvex::protect
