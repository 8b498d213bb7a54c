// Throughput of CRC-32 (ours beside zlib's) and MD5 over one in-memory buffer.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <random>
#include <vector>

#include "olvex/core/crc32.h"
#include "olvex/core/md5.h"

namespace {

const std::vector<std::uint8_t>& Buffer() {
    static const std::vector<std::uint8_t> buffer = [] {
        std::vector<std::uint8_t> b(4 << 20);
        std::mt19937 rng(42);
        for (auto& x : b)
            x = static_cast<std::uint8_t>(rng());
        return b;
    }();
    return buffer;
}

void BM_Crc32(benchmark::State& state) {
    const auto& data = Buffer();
    for (auto _ : state)
        benchmark::DoNotOptimize(olvex::Crc32(data));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_Crc32);

void BM_ZlibCrc32(benchmark::State& state) {
    const auto& data = Buffer();
    for (auto _ : state)
        benchmark::DoNotOptimize(crc32(0L, data.data(), static_cast<uInt>(data.size())));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_ZlibCrc32);

void BM_Md5(benchmark::State& state) {
    const auto& data = Buffer();
    olvex::CMD5Hasher hasher;
    olvex::Md5Digest digest;
    for (auto _ : state) {
        hasher.HashBuffer(data, digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_Md5);

}  // namespace
