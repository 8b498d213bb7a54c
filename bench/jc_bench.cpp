// JC decoding speed, in bytes of output, on a payload shaped like the
// definition sources: a few megabytes of similar text records.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "olvex/core/jc_decoder.h"
#include "tools/jc/jc_encoder.h"

namespace {

std::vector<std::uint8_t> DefinitionText(std::size_t size) {
    std::mt19937 rng(1);
    static const char* const kSyllables[] = {"ad",  "spy", "tool", "bar",  "win", "net",  "search",
                                             "hot", "bot", "dial", "ware", "x",   "cash", "pop"};
    static const char* const kFolders[] = {"%PROGRAMFILES%\\", "%WINDIR%\\", "%SYSDIR%\\",
                                           "%APPDATA%\\", "%COMMONFILES%\\"};
    std::string text;
    for (unsigned id = 1000; text.size() < size; ++id) {
        std::string name;
        for (unsigned i = 0, n = 2 + rng() % 3; i < n; ++i)
            name += kSyllables[rng() % std::size(kSyllables)];
        char crc[16];
        std::snprintf(crc, sizeof crc, "%08X", static_cast<unsigned>(rng()));
        const std::string folder = kFolders[rng() % std::size(kFolders)];
        text += "P\t" + std::to_string(id) + "\t" + name + "\t" + std::to_string(rng() % 7) + "\n";
        text += "F\t" + std::to_string(id) + "\t" + folder + name + "\\" + name + ".exe\t" + crc +
                "\t" + std::to_string(rng() % 900000) + "\n";
        text +=
            "L\t" + std::to_string(id) + "\tHKEY_LOCAL_MACHINE\\Software\\" + name + "\\Settings\n";
        if (rng() % 2)
            text += "L\t" + std::to_string(id) +
                    "\tHKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run|" +
                    name + "\n";
    }
    text.resize(size);
    return {text.begin(), text.end()};
}

void BM_JcDecode(benchmark::State& state) {
    static const std::vector<std::uint8_t> text = DefinitionText(4 << 20);
    static const std::vector<std::uint8_t> stream = olvex::tools::JcCompress(text);
    std::vector<std::uint8_t> out(text.size());
    for (auto _ : state) {
        const auto n = olvex::JcDecompress(stream, out);
        if (n != text.size())
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.counters["ratio"] = static_cast<double>(text.size()) / static_cast<double>(stream.size());
}
BENCHMARK(BM_JcDecode)->Unit(benchmark::kMillisecond);

void BM_JcEncode(benchmark::State& state) {
    static const std::vector<std::uint8_t> text = DefinitionText(4 << 20);
    for (auto _ : state)
        benchmark::DoNotOptimize(olvex::tools::JcCompress(text));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_JcEncode)->Unit(benchmark::kMillisecond);

}  // namespace
