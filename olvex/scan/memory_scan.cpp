#include "olvex/scan/memory_scan.h"

#include <array>

#include "olvex/core/location_builder.h"

namespace olvex {
namespace {

// The pest whose memory signature the first page of the image carries.
std::optional<std::int32_t> IdentifyImage(ProcessSource::OpenedProcess& process,
                                          std::uintptr_t image_base, const CDatDatabase& database) {
    if (image_base == 0)
        return std::nullopt;
    std::array<std::uint8_t, kMemoryBlockBytes> page{};
    if (!process.ReadPage(image_base, page))
        return std::nullopt;
    const auto pest = database.FindPestByMemoryCrc(Crc32(page));
    if (!pest)
        return std::nullopt;
    return pest->pest_id;
}

// Every module but the main image, each by its file, until the client asks
// to stop.
void ScanModules(ProcessSource& processes, std::uint32_t process_id,
                 const FileIdentifier& identify_file, ScanReporter& reporter,
                 const MultiByteText& mb) {
    const std::vector<LoadedModule> modules = processes.Modules(process_id);
    for (std::size_t i = 1; i < modules.size(); ++i) {
        if (!reporter.ShouldScanContinue())
            return;
        const LoadedModule& module = modules[i];
        const auto location = BuildModuleLocation(module.name, module.path, mb);
        if (!location)
            continue;
        reporter.StartingItem(*location);
        if (const auto pest = identify_file(module.path))
            reporter.DetectWithExclusionCheck(*pest, *location);
        reporter.FinishedItem(*location);
    }
}

}  // namespace

void ScanMemory(ProcessSource& processes, const CDatDatabase& database,
                const FileIdentifier& identify_file, ScanReporter& reporter,
                const MultiByteText& mb, bool scan_modules) {
    reporter.StartingItem(kMemorySection);
    for (const RunningProcess& process : processes.Processes()) {
        if (!reporter.ShouldScanContinue())
            return;
        const auto opened = processes.Open(process.id);
        if (!opened)
            continue;
        const auto location = BuildProcessLocation(process.id, process.path, mb);
        if (!location)
            continue;
        reporter.StartingItem(*location);
        // One finding at most: a process its memory names is not looked up
        // by its file.
        auto pest = IdentifyImage(*opened, process.image_base, database);
        if (!pest)
            pest = identify_file(process.path);
        if (pest) {
            reporter.DetectWithExclusionCheck(*pest, *location);
            reporter.FinishedItem(*location);
        }
        // A stop among the modules is answered at the next process's
        // question.
        if (scan_modules)
            ScanModules(processes, process.id, identify_file, reporter, mb);
    }
    reporter.FinishedItem(kMemorySection);
}

}  // namespace olvex
