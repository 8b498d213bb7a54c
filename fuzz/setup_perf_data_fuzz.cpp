// Performance data blocks come from the system as bytes; a broken or
// hostile block is read within its bounds and finds at most what it holds.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/setup_fuzz_support.h"
#include "setup/core/perf_data.h"

using namespace olvex::setup;
using fuzzing::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const uint32_t process_index = input.ConsumeIntegralInRange<uint32_t>(0, 300);
    const uint32_t id_index = input.ConsumeIntegralInRange<uint32_t>(0, 1000);
    const bool session_prefix = input.ConsumeBool();
    const std::u16string name = fuzzing::ConsumeText(input, 20);
    const std::u16string names = fuzzing::ConsumeText(input, 256);
    const std::vector<uint8_t> block = input.ConsumeRemainingBytes<uint8_t>();

    static_cast<void>(util::FindProcessCounterIndexes(names));
    const auto processes = util::ReadPerfProcesses(block, process_index, id_index);
    if (processes) {
        Check(processes->size() <= block.size() / 24 + 1);
        const uint32_t id = util::FindPerfProcess(*processes, name, session_prefix);
        bool listed = id == 0;
        for (const auto& process : *processes) {
            listed = listed || process.id == id;
        }
        Check(listed);
    }
    return 0;
}
