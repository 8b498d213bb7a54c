// Replacing a file that is in use at the next start of Windows, as
// ApplyUpdates needs it when a copy over an installed file fails.
#pragma once

#include <memory>
#include <string>

namespace olvex {

class RestartReplacer {
  public:
    virtual ~RestartReplacer() = default;
    // Schedules source to take target's place at the next start; true when
    // it is scheduled.
    virtual bool ReplaceFileAtReboot(const std::string& source, const std::string& target) = 0;
};

// CRebootFileMover for the running system: the NT family's delayed move,
// wininit.ini or the rename batch on Windows 9x.
std::unique_ptr<RestartReplacer> MakeSystemRestartReplacer();

}  // namespace olvex
