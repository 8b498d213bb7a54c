#include "olvex/scan/memory_scan.h"

#include <array>
#include <map>
#include <tuple>

#include "olvex/core/location_builder.h"

namespace olvex {
namespace {

// The answers of one pass, by file version.
class PassIdentifier {
  public:
    PassIdentifier(ProcessSource& processes, const FileIdentifier& identify,
                   const MultiByteText& mb)
        : processes_(processes), identify_(identify), mb_(mb) {}

    std::optional<std::int32_t> operator()(const std::string& path) {
        const auto version = path.empty() ? std::nullopt : processes_.VersionOf(path);
        if (!version)
            return identify_(path);
        Key key{mb_.Lower(path), version->size, version->last_write};
        if (const auto known = answers_.find(key); known != answers_.end())
            return known->second;
        const auto pest = identify_(path);
        answers_.emplace(std::move(key), pest);
        return pest;
    }

  private:
    using Key = std::tuple<std::string, std::uint64_t, std::uint64_t>;
    ProcessSource& processes_;
    const FileIdentifier& identify_;
    const MultiByteText& mb_;
    std::map<Key, std::optional<std::int32_t>> answers_;
};

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
                 PassIdentifier& identify_file, ScanReporter& reporter, const MultiByteText& mb) {
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
    PassIdentifier identify(processes, identify_file, mb);
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
            pest = identify(process.path);
        if (pest) {
            reporter.DetectWithExclusionCheck(*pest, *location);
            reporter.FinishedItem(*location);
        }
        // A stop among the modules is answered at the next process's
        // question.
        if (scan_modules)
            ScanModules(processes, process.id, identify, reporter, mb);
    }
    reporter.FinishedItem(kMemorySection);
}

}  // namespace olvex
