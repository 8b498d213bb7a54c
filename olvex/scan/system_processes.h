// The running processes of this machine for the memory scan: the process
// list (PSAPI or Tool Help, by the OS-version source) and ReadProcessMemory.
#pragma once

#include "olvex/scan/memory_scan.h"
#include "olvex/scan/process_list.h"

namespace olvex {

class SystemProcessSource final : public ProcessSource {
  public:
    std::vector<RunningProcess> Processes() override;
    std::unique_ptr<OpenedProcess> Open(std::uint32_t process_id) override;
    std::vector<LoadedModule> Modules(std::uint32_t process_id) override;
    std::optional<FileVersion> VersionOf(const std::string& path) override;

  private:
    CProcessList list_;
};

}  // namespace olvex
