// The memory scan: every running process is identified by the CRC-32 of the
// first page of its image in memory, or else by its executable file; with
// the modules flag, every further module loaded into it by its file.
// Portable: the scanner object plugs the system's process list in
// (system_processes.h); tests plug in processes of their own.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "olvex/core/crc32.h"
#include "olvex/core/dat_database.h"
#include "olvex/core/multibyte_text.h"
#include "olvex/scan/scan_reporter.h"

namespace olvex {

inline constexpr std::string_view kMemorySection = "Memory";

struct RunningProcess {
    std::uint32_t id = 0;
    std::string path;               // the executable's full path; empty when unknown
    std::uintptr_t image_base = 0;  // where its image is mapped; 0 when unknown
};

struct LoadedModule {
    std::string name;
    std::string path;  // empty when unknown
};

using ImagePage = std::span<std::uint8_t, kMemoryBlockBytes>;

// What tells one version of a file from another without reading it.
struct FileVersion {
    std::uint64_t size = 0;
    std::uint64_t last_write = 0;  // FILETIME
    bool operator==(const FileVersion&) const = default;
};

// The running processes as the memory scan sees them.
class ProcessSource {
  public:
    // A process opened for reading its memory; closed when destroyed.
    class OpenedProcess {
      public:
        virtual ~OpenedProcess() = default;
        // Reads one page at address; false unless it was read whole.
        virtual bool ReadPage(std::uintptr_t address, ImagePage page) = 0;
    };

    virtual ~ProcessSource() = default;
    // The processes running now.
    virtual std::vector<RunningProcess> Processes() = 0;
    // Null when the process cannot be opened for reading.
    virtual std::unique_ptr<OpenedProcess> Open(std::uint32_t process_id) = 0;
    // Its modules, the main image first; empty when they cannot be listed.
    virtual std::vector<LoadedModule> Modules(std::uint32_t process_id) = 0;
    // The size and last-write time of a file; nullopt when they cannot be
    // had (the file is then identified afresh each time it is met).
    virtual std::optional<FileVersion> VersionOf(const std::string& path) = 0;
};

// The pest a file on disk is known as (its signatures, then its path among
// the file and folder locations); nullopt when none.
using FileIdentifier = std::function<std::optional<std::int32_t>(const std::string& path)>;

// The scan, between StartingItem and FinishedItem ("Memory"). Within the
// pass each file (by its full path, case ignored, its size and its last-write
// time) is identified once, whatever number of processes load it: most
// modules are the same system libraries in every process. A process that
// cannot be opened, or whose path cannot be written into a location, gets no
// event. Each other process gets StartingItem (ProcessId "<id>" File
// "<path>") and, only when it is a pest, one detection and FinishedItem; with
// scan_modules each further module gets StartingItem (ModuleName "<name>"
// File "<path>"), a detection when its file is a pest, and FinishedItem. The
// client's stop leaves the scan at the next process without ScanAborted (or
// FinishedItem "Memory").
void ScanMemory(ProcessSource& processes, const CDatDatabase& database,
                const FileIdentifier& identify_file, ScanReporter& reporter,
                const MultiByteText& mb, bool scan_modules);

}  // namespace olvex
