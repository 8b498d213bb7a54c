// The scanner's memory and registry scans: the portable scans of
// memory_scan.h and registry_scan.h over this machine's processes and
// registry, and the all-users form of the registry scan with the users'
// hives mounted around it.
#include <optional>
#include <string>

#include "olvex/core/ansi_code_page.h"
#include "olvex/core/os_utilities.h"
#include "olvex/core/process_dat_database.h"
#include "olvex/scan/memory_scan.h"
#include "olvex/scan/registry_scan.h"
#include "olvex/scan/scanner_object.h"
#include "olvex/scan/system_processes.h"
#include "olvex/scan/system_registry.h"
#include "olvex/scan/user_hives.h"

namespace olvex {
namespace {

constexpr char kHiveUnloadText[] = "Error unloading user registry hives.";

}  // namespace

void CScanner::DoScanMemory(ScanRun& run) {
    const FileScanner files = MakeFileScanner(run);
    const FileIdentifier identify_file = [&files](const std::string& path) {
        const auto pest = files.IdentifyFile(path);
        return pest ? std::optional<std::int32_t>(pest->pest_id) : std::nullopt;
    };
    SystemProcessSource processes;
    olvex::ScanMemory(processes, TheDatDatabase(), identify_file, run.reporter(),
                      AnsiCodePageText(), mem_scan_modules_);
}

void CScanner::DoScanRegistry(ScanRun& run) {
    SystemRegistryReader registry;
    ScanCommonRegistry(TheDatDatabase(), registry, run.reporter(), AnsiCodePageText());
}

bool CScanner::DoScanRegistryAllUsers(ScanRun& run) {
    ScanReporter& reporter = run.reporter();
    reporter.StartingItem(kRegistrySection);
    const int version = GetWindowsVersionCode();
    if (version == 0) {
        last_error_.Set(kCannotDetermineOsText, kCannotDetermineOsCode);
        return false;
    }
    if (version <= 3) {  // Windows 95, 98 and Me keep no users' hives
        last_error_.Set(kUnsupportedOsText, kUnsupportedOsCode);
        return false;
    }
    // Unloaded below, or on any other way out when the hives list goes.
    MountedHives hives;
    LoadAllUserHives(hives);
    SystemRegistryReader registry;
    const RegistryLoopResult result =
        ScanRegistryLocations(TheDatDatabase(), registry, reporter, AnsiCodePageText(), true);
    bool ok = true;
    if (!UnloadAllUserHives(hives)) {
        last_error_.Set(kHiveUnloadText, 23);
        ok = false;
    }
    if (result.access_denied) {
        last_error_.Set(kAccessDeniedText, kAccessDeniedCode);
        return false;
    }
    reporter.FinishedItem(kRegistrySection);
    if (result.stopped)
        reporter.ReportAborted();
    return ok;
}

}  // namespace olvex
