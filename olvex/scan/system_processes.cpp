#include "olvex/scan/system_processes.h"

#include "win/unique.h"

namespace olvex {
namespace {

class SystemProcess final : public ProcessSource::OpenedProcess {
  public:
    explicit SystemProcess(win::UniqueHandle process) : process_(std::move(process)) {}

    bool ReadPage(std::uintptr_t address, ImagePage page) override {
        SIZE_T read = 0;
        return ReadProcessMemory(process_.get(), reinterpret_cast<const void*>(address),
                                 page.data(), page.size(), &read) &&
               read == page.size();
    }

  private:
    win::UniqueHandle process_;
};

}  // namespace

std::vector<RunningProcess> SystemProcessSource::Processes() {
    std::vector<RunningProcess> processes;
    ProcessRecord record;
    for (bool more = list_.GetFirstProcess(record); more; more = list_.GetNextProcess(record))
        processes.push_back({record.id, record.path, record.image_base});
    return processes;
}

std::unique_ptr<ProcessSource::OpenedProcess> SystemProcessSource::Open(std::uint32_t process_id) {
    win::UniqueHandle process(
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, process_id));
    if (!process)
        return nullptr;
    return std::make_unique<SystemProcess>(std::move(process));
}

std::vector<LoadedModule> SystemProcessSource::Modules(std::uint32_t process_id) {
    std::vector<LoadedModule> modules;
    if (!list_.BuildModuleList(process_id))
        return modules;
    ModuleRecord record;
    for (bool more = list_.GetFirstModule(record); more; more = list_.GetNextModule(record))
        modules.push_back({record.name, record.path});
    return modules;
}

std::optional<FileVersion> SystemProcessSource::VersionOf(const std::string& path) {
    // The attributes come without opening the file.
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    return FileVersion{std::uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow,
                       std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32 |
                           data.ftLastWriteTime.dwLowDateTime};
}

}  // namespace olvex
