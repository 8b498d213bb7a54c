// Loading speed of definition files: the block reader (check value,
// descrambling, JC decoding) and the record decoders, in bytes of file, over
// synthetic sets made by the publisher.
#include <benchmark/benchmark.h>

#include "olvex/core/definition_blocks.h"
#include "olvex/core/definition_records.h"
#include "tools/publisher/definition_writer.h"
#include "tools/publisher/synthetic_set.h"

namespace {

const olvex::tools::DefinitionFiles& Files() {
    static const olvex::tools::DefinitionFiles files = [] {
        olvex::tools::SyntheticOptions options;
        options.pests = 20'000;
        options.signatures = 100'000;
        options.locations = 100'000;
        options.deltas = 2;
        return olvex::tools::BuildDefinitionFiles(olvex::tools::MakeSyntheticSet(options));
    }();
    return files;
}

void BM_ReadSignatureFile(benchmark::State& state) {
    const auto& file = Files().signatures;
    for (auto _ : state) {
        const auto read = olvex::ReadBlockBuffer(file, "C:\\defs\\qzfile.dat");
        for (const auto& block : read.blocks)
            benchmark::DoNotOptimize(olvex::DecodeSignatureRecords(
                block.data, static_cast<std::int32_t>(block.record_count)));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file.size()));
}
BENCHMARK(BM_ReadSignatureFile)->Unit(benchmark::kMillisecond);

void BM_ReadLocationFile(benchmark::State& state) {
    const auto& file = Files().locations;
    for (auto _ : state) {
        const auto read = olvex::ReadBlockBuffer(file, "C:\\defs\\qzloc.dat");
        for (const auto& block : read.blocks) {
            const auto list = olvex::DecodeLocationRecords(
                block.data, static_cast<std::int32_t>(block.record_count));
            for (const auto& record : list.records) {
                if (olvex::LocationKindOf(record.text) == olvex::LocationKind::kKey)
                    benchmark::DoNotOptimize(olvex::ParseKeyEntry(record.text));
                else
                    benchmark::DoNotOptimize(olvex::ParsePathEntry(record.text));
            }
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file.size()));
}
BENCHMARK(BM_ReadLocationFile)->Unit(benchmark::kMillisecond);

}  // namespace
