// Finding a process by name in the system's performance data: the counter
// names of the "Counter" value and the Process object of a performance data
// block. The block comes from the system and is read with bounds checks.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace olvex::setup::util {

struct ProcessCounterIndexes {
    std::optional<uint32_t> process;     // the "Process" object
    std::optional<uint32_t> process_id;  // its "ID Process" counter
};

// Reads the pairs of index and name of the "Counter" value (strings one
// after the other, each ended by a NUL).
ProcessCounterIndexes FindProcessCounterIndexes(std::u16string_view counter_names);

struct PerfProcess {
    std::u16string name;
    uint32_t id = 0;
};

// The instances of the Process object in a performance data block with
// their "ID Process" values; nullopt when the block holds no such object
// (or is not a performance data block).
std::optional<std::vector<PerfProcess>> ReadPerfProcesses(std::span<const uint8_t> block,
                                                          uint32_t process_index,
                                                          uint32_t id_index);

// Instance names are cut to this many characters by the system.
inline constexpr size_t kPerfNameChars = 15;

// The id of the first instance whose name equals the name, both cut to 15
// characters, without regard to case. With session prefixes (terminal
// servers), instance names begin with the session number and a blank, and
// the name is compared with that prefix. 0 when none matches.
uint32_t FindPerfProcess(const std::vector<PerfProcess>& processes, std::u16string_view name,
                         bool session_prefix);

}  // namespace olvex::setup::util
