// The system's Task Scheduler 1.0 behind the scheduled scans' interface
// (scan_scheduler.h): a scheduler object made in process for each session,
// work items as ITask, their trigger through ITaskTrigger and their saving
// through IPersistFile. Texts go to the scheduler in UTF-16 and come back in
// the ANSI code page; a text that does not convert whole is refused.
#pragma once

#include "client/main/scan_scheduler.h"

namespace olvex {

SchedulerResult CreateSystemScanScheduler(std::unique_ptr<ScanScheduler>& scheduler);

// The system's scheduler, unless a test build put another in its place.
ScanSchedulerFactory CurrentScanSchedulerFactory();
void SetScanSchedulerFactory(ScanSchedulerFactory factory);

}  // namespace olvex
