// The pest database: load time and peak memory of whole definition sets at
// three synthetic scales, and lookups per second of every kind, hit and miss.
//
// The sets are made by the publisher on first run and kept in the build
// folder (synthetic/<scale>): making the large one takes about half a minute.
//
//   S: 5,000 pests, 20,000 signatures, 20,000 locations, 30 delta blocks
//   M: 50,000 / 200,000 / 200,000, 30 deltas
//   L: 200,000 / 1,000,000 / 1,000,000, 30 deltas
//
// Peak memory is measured in a fresh process per scale (this program run
// with --peak-load=<folder>: the rise of its resident high-water mark over
// one load), so the sets made and loaded here do not count. With --busy the
// fresh process first starts one spinning thread per core: the load on a
// machine whose every core is taken.
//
//   bench_pest_database --goals[=rounds]
// prints, for each goal, our figure, the reference it is held against and
// their ratio: the L load quiet and busy (fresh processes, interleaved, min
// and median of the rounds), its peak memory per entry, and every lookup's
// miss time.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "olvex/core/dat_database.h"
#include "olvex/core/file_io.h"
#include "tools/publisher/definition_writer.h"
#include "tools/publisher/synthetic_set.h"

namespace {

using olvex::CDatDatabase;

struct Scale {
    const char* name;
    std::uint32_t pests;
    std::uint32_t signatures;
    std::uint32_t locations;
};
constexpr Scale kScales[] = {
    {"S", 5'000, 20'000, 20'000},
    {"M", 50'000, 200'000, 200'000},
    {"L", 200'000, 1'000'000, 1'000'000},
};
constexpr std::uint32_t kDeltas = 30;

// An XP machine: where %PROGRAM_FILES% and the other macros lead.
class BenchMachine : public olvex::SpecialFolderSource {
  public:
    std::optional<std::string> ShellFolder(int csidl) const override {
        const std::string profile = "C:\\Documents and Settings\\bench";
        const std::string all = "C:\\Documents and Settings\\All Users";
        static const std::map<int, std::string> folders = {
            {olvex::kCsidlCommonAltStartup, all + "\\Start Menu\\Programs\\Startup"},
            {olvex::kCsidlCommonDesktopDirectory, all + "\\Desktop"},
            {olvex::kCsidlCommonPrograms, all + "\\Start Menu\\Programs"},
            {olvex::kCsidlCommonStartMenu, all + "\\Start Menu"},
            {olvex::kCsidlCommonStartup, all + "\\Start Menu\\Programs\\Startup"},
            {olvex::kCsidlCookies, profile + "\\Cookies"},
            {olvex::kCsidlDesktopDirectory, profile + "\\Desktop"},
            {olvex::kCsidlProfile, profile},
            {olvex::kCsidlProgramFiles, "C:\\Program Files"},
            {olvex::kCsidlStartMenu, profile + "\\Start Menu"},
            {olvex::kCsidlStartup, profile + "\\Start Menu\\Programs\\Startup"},
            {olvex::kCsidlSystem, "C:\\WINDOWS\\system32"},
            {olvex::kCsidlWindows, "C:\\WINDOWS"},
            {olvex::kCsidlFavorites, profile + "\\Favorites"},
            {olvex::kCsidlPrograms, profile + "\\Start Menu\\Programs"},
        };
        const auto it = folders.find(csidl);
        return it == folders.end() ? std::nullopt : std::optional(it->second);
    }
    bool ShellFoldersKeyOpens(olvex::ShellFoldersRoot) const override { return false; }
    std::optional<std::string> ShellFoldersValue(olvex::ShellFoldersRoot,
                                                 std::string_view) const override {
        return std::nullopt;
    }
    std::optional<std::string> WindowsFolder() const override { return "C:\\WINDOWS"; }
    std::optional<std::string> SystemFolder() const override { return "C:\\WINDOWS\\system32"; }
    std::optional<std::string> UserName() const override { return "bench"; }
    bool IsWin9x() const override { return false; }
    bool IsNt4OrOlder() const override { return false; }
};

const BenchMachine kMachine;

std::string SetFolder(const Scale& scale) {
    return std::string(OLVEX_BENCH_DATA_DIR) + "/synthetic/" + scale.name;
}

// Makes the scale's set unless an earlier run did.
const std::string& EnsureSet(const Scale& scale) {
    static std::map<std::string, std::string> made;
    auto [it, added] = made.try_emplace(scale.name, SetFolder(scale));
    const std::string complete = it->second + "/complete";
    if (added && !std::filesystem::exists(complete)) {
        std::fprintf(stderr, "making the %s set in %s...\n", scale.name, it->second.c_str());
        olvex::tools::SyntheticOptions options;
        options.pests = scale.pests;
        options.signatures = scale.signatures;
        options.locations = scale.locations;
        options.deltas = kDeltas;
        const std::string error =
            olvex::tools::WriteDefinitionFiles(olvex::tools::MakeSyntheticSet(options), it->second);
        if (!error.empty()) {
            std::fprintf(stderr, "%s\n", error.c_str());
            std::exit(1);
        }
        std::ofstream(complete) << "made\n";
    }
    return it->second;
}

long StatusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::string(field).size()));
    }
    return -1;
}

struct PeakLoad {
    double seconds = 0;
    double peak_mib = 0;
    double table_mib = 0;
    double cpu_seconds = 0;   // of every thread of the load
    double page_faults = 0;   // first touches of memory (minor faults)
};

struct Usage {
    double cpu_seconds = 0;
    double page_faults = 0;
};

Usage UsageNow() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return {seconds(usage.ru_utime) + seconds(usage.ru_stime),
            static_cast<double>(usage.ru_minflt)};
}

// One thread per core spinning beside the load, for as long as this lives.
class BusyCores {
  public:
    BusyCores() {
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        for (unsigned i = 0; i < cores; ++i) {
            threads_.emplace_back([this] {
                std::uint64_t x = 1;
                while (!stop_.load(std::memory_order_relaxed)) {
                    for (int k = 0; k < 4096; ++k)
                        x = x * 6364136223846793005ull + 1442695040888963407ull;
                }
                sink_.fetch_add(x, std::memory_order_relaxed);
            });
        }
        // Every spinner running before the load starts.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ~BusyCores() {
        stop_ = true;
        for (auto& thread : threads_)
            thread.join();
    }
    static unsigned Count() { return std::max(1u, std::thread::hardware_concurrency()); }

  private:
    std::atomic<bool> stop_{false};
    std::atomic<std::uint64_t> sink_{0};
    std::vector<std::thread> threads_;
};

// The --peak-load run: one load, then what it took on one line.
int PeakLoadMain(const std::string& folder, bool busy) {
    std::optional<BusyCores> spinners;
    if (busy)
        spinners.emplace();
    const long before = StatusKiB("VmRSS:");
    CDatDatabase db(&kMachine);
    db.SetDatFolder(folder);
    const Usage used_before = UsageNow();
    const auto start = std::chrono::steady_clock::now();
    if (db.Load() != 0)
        return 1;
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    const Usage used_after = UsageNow();
    // The spinners' time is not the load's.
    spinners.reset();
    std::printf("%f %f %f %f %f\n", took.count(), (StatusKiB("VmHWM:") - before) / 1024.0,
                db.Snapshot()->MemoryBytes() / 1048576.0,
                busy ? 0.0 : used_after.cpu_seconds - used_before.cpu_seconds,
                used_after.page_faults - used_before.page_faults);
    return 0;
}

PeakLoad MeasureInFreshProcess(const std::string& folder, bool busy = false) {
    PeakLoad result;
    const std::string command = std::filesystem::read_symlink("/proc/self/exe").string() +
                                " --peak-load=" + folder + (busy ? " --busy" : "");
    if (FILE* child = popen(command.c_str(), "r")) {
        if (std::fscanf(child, "%lf %lf %lf %lf %lf", &result.seconds, &result.peak_mib,
                        &result.table_mib, &result.cpu_seconds, &result.page_faults) != 5)
            result = {};
        pclose(child);
    }
    return result;
}

void BM_Load(benchmark::State& state) {
    const Scale& scale = kScales[state.range(0)];
    const std::string& folder = EnsureSet(scale);
    for (auto _ : state) {
        CDatDatabase db(&kMachine);
        db.SetDatFolder(folder);
        if (db.Load() != 0) {
            state.SkipWithError("the set does not load");
            return;
        }
        benchmark::DoNotOptimize(db.Snapshot());
    }
    const PeakLoad peak = MeasureInFreshProcess(folder);
    const PeakLoad busy = MeasureInFreshProcess(folder, true);
    const double entries = static_cast<double>(scale.signatures) + scale.locations;
    state.counters["fresh_s"] = peak.seconds;
    state.counters["fresh_busy_s"] = busy.seconds;
    state.counters["peak_MiB"] = peak.peak_mib;
    state.counters["peak_B_per_entry"] = peak.peak_mib * 1048576.0 / entries;
    state.counters["tables_MiB"] = peak.table_mib;
    state.counters["tables_B_per_entry"] = peak.table_mib * 1048576.0 / entries;
    state.SetLabel(scale.name);
}
BENCHMARK(BM_Load)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(3);

// --- Lookups on the L set ------------------------------------------------

// Query texts one after another in one block, as a scan has the name it looks
// up at hand: reading a query is not a cache miss of its own.
class TextQueries {
  public:
    void Add(std::string text) { pending_.push_back(std::move(text)); }
    // After the last Add: lays the texts out and gives their views.
    void Lay() {
        std::size_t total = 0;
        for (const auto& text : pending_)
            total += text.size();
        arena_.reserve(total);
        for (const auto& text : pending_)
            arena_ += text;
        std::size_t at = 0;
        for (const auto& text : pending_) {
            views_.push_back(std::string_view(arena_).substr(at, text.size()));
            at += text.size();
        }
        pending_.clear();
    }
    const std::vector<std::string_view>& views() const { return views_; }

  private:
    std::vector<std::string> pending_;
    std::string arena_;
    std::vector<std::string_view> views_;
};

struct Queries {
    std::vector<std::int32_t> pest_hits, pest_misses;
    std::vector<std::uint32_t> crc_hits, crc_misses;  // signatures with an all-zero MD5
    std::vector<std::pair<std::uint32_t, olvex::Md5Digest>> md5_hits;
    std::vector<std::uint32_t> memory_hits, memory_misses;
    TextQueries cookie_hits, cookie_misses;
    TextQueries path_hits, path_misses;
    std::vector<std::pair<std::string_view, std::string_view>> key_hits, key_misses;
    TextQueries key_texts;  // where the keys' texts lie
};

struct Loaded {
    CDatDatabase db{&kMachine};
    Queries queries;
};

Loaded& LargeSet() {
    static Loaded* loaded = [] {
        auto* l = new Loaded;
        l->db.SetDatFolder(EnsureSet(kScales[2]));
        if (l->db.Load() != 0)
            std::abort();
        const auto tables = l->db.Snapshot();
        Queries& q = l->queries;
        std::mt19937 random(7);
        // Enough queries that the tables do not all sit in the caches.
        constexpr std::size_t kCount = 1 << 16;
        const auto pick = [&](std::size_t size) {
            return std::uniform_int_distribution<std::size_t>(0, size - 1)(random);
        };
        for (std::size_t i = 0; i < kCount; ++i) {
            q.pest_hits.push_back(tables->PestAt(pick(tables->PestCount())).pest_id);
            q.pest_misses.push_back(static_cast<std::int32_t>(2'000'000 + random() % 1'000'000));
            const auto& files = tables->signature_tables()->files.rows;
            const auto& row = files[pick(files.size())];
            if (row.md5 == olvex::Md5Digest{})
                q.crc_hits.push_back(row.crc);
            else
                q.md5_hits.push_back({row.crc, row.md5});
            std::uint32_t miss = static_cast<std::uint32_t>(random());
            while (!tables->FindFileSignatures(miss).empty())
                miss = static_cast<std::uint32_t>(random());
            q.crc_misses.push_back(miss);
            const auto& memory = tables->signature_tables()->memory.rows;
            q.memory_hits.push_back(memory[pick(memory.size())].crc);
            while (tables->FindPestByMemoryCrc(miss))
                miss = static_cast<std::uint32_t>(random());
            q.memory_misses.push_back(miss);
            const std::string cookie = tables->CookieAt(pick(tables->CookieCount())).name;
            q.cookie_hits.Add(cookie);
            q.cookie_misses.Add("miss" + cookie);
            // Real paths, as a scan meets them: the definitions' macro expanded.
            const std::string path =
                l->db.ExpandPathMacros(tables->PathAt(pick(tables->PathCount())).path);
            q.path_hits.Add(path);
            q.path_misses.Add(path + ".miss");
            const auto key = tables->KeyAt(pick(tables->KeyCount()));
            q.key_texts.Add(key.key);
            q.key_texts.Add(key.value);
            q.key_texts.Add(key.key + "Miss");
            q.key_texts.Add(key.value);
        }
        for (TextQueries* texts :
             {&q.cookie_hits, &q.cookie_misses, &q.path_hits, &q.path_misses, &q.key_texts})
            texts->Lay();
        const auto& keys = q.key_texts.views();
        for (std::size_t i = 0; i < keys.size(); i += 4) {
            q.key_hits.push_back({keys[i], keys[i + 1]});
            q.key_misses.push_back({keys[i + 2], keys[i + 3]});
        }
        return l;
    }();
    return *loaded;
}

template <typename Query, typename Look>
void RunLookups(benchmark::State& state, const std::vector<Query>& queries, Look look) {
    std::size_t i = 0;
    std::int64_t found = 0;
    for (auto _ : state) {
        found += look(queries[i]);
        i = (i + 1) % queries.size();
    }
    state.counters["found_share"] =
        static_cast<double>(found) / static_cast<double>(state.iterations());
    state.counters["lookups_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_FindPest(benchmark::State& state) {
    auto& l = LargeSet();
    RunLookups(state, state.range(0) ? l.queries.pest_hits : l.queries.pest_misses,
               [&](std::int32_t id) { return l.db.FindPest(id).has_value(); });
}
BENCHMARK(BM_FindPest)->ArgName("hit")->Arg(1)->Arg(0);

void BM_MatchFileHeadCrc(benchmark::State& state) {
    auto& l = LargeSet();
    const olvex::Md5Supplier no_md5 = [] { return std::optional<olvex::Md5Digest>{}; };
    RunLookups(state, state.range(0) ? l.queries.crc_hits : l.queries.crc_misses,
               [&](std::uint32_t crc) { return l.db.MatchFileSignature(crc, no_md5).has_value(); });
}
BENCHMARK(BM_MatchFileHeadCrc)->ArgName("hit")->Arg(1)->Arg(0);

void BM_MatchFileHeadCrcAndMd5(benchmark::State& state) {
    auto& l = LargeSet();
    RunLookups(state, l.queries.md5_hits, [&](const auto& query) {
        const auto digest = state.range(0) ? query.second : olvex::Md5Digest{1};
        return l.db.MatchFileSignature(query.first, [&] { return std::optional(digest); })
            .has_value();
    });
}
BENCHMARK(BM_MatchFileHeadCrcAndMd5)->ArgName("hit")->Arg(1)->Arg(0);

void BM_FindPestByMemoryCrc(benchmark::State& state) {
    auto& l = LargeSet();
    RunLookups(state, state.range(0) ? l.queries.memory_hits : l.queries.memory_misses,
               [&](std::uint32_t crc) { return l.db.FindPestByMemoryCrc(crc).has_value(); });
}
BENCHMARK(BM_FindPestByMemoryCrc)->ArgName("hit")->Arg(1)->Arg(0);

void BM_FindCookie(benchmark::State& state) {
    auto& l = LargeSet();
    RunLookups(state, (state.range(0) ? l.queries.cookie_hits : l.queries.cookie_misses).views(),
               [&](std::string_view name) { return l.db.FindCookie(name).has_value(); });
}
BENCHMARK(BM_FindCookie)->ArgName("hit")->Arg(1)->Arg(0);

void BM_FindPathLocation(benchmark::State& state) {
    auto& l = LargeSet();
    RunLookups(state, (state.range(0) ? l.queries.path_hits : l.queries.path_misses).views(),
               [&](std::string_view path) { return l.db.FindPathLocation(path).has_value(); });
}
BENCHMARK(BM_FindPathLocation)->ArgName("hit")->Arg(1)->Arg(0);

void BM_FindKeyLocation(benchmark::State& state) {
    auto& l = LargeSet();
    RunLookups(
        state, state.range(0) ? l.queries.key_hits : l.queries.key_misses,
        [&](const auto& key) { return l.db.FindKeyLocation(key.first, key.second).has_value(); });
}
BENCHMARK(BM_FindKeyLocation)->ArgName("hit")->Arg(1)->Arg(0);

// --- Goals ----------------------------------------------------------------

struct Figures {
    double min = 0;
    double median = 0;
};

Figures Summarize(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? Figures{} : Figures{values.front(), values[values.size() / 2]};
}

// Nanoseconds a lookup over the queries in order, eight times round.
template <typename Query, typename Look>
double NanosecondsPerLookup(const std::vector<Query>& queries, Look look) {
    std::int64_t found = 0;
    const std::size_t count = queries.size() * 8;
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < count; ++i)
        found += look(queries[i % queries.size()]);
    const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
    benchmark::DoNotOptimize(found);
    return took.count() / static_cast<double>(count);
}

void PrintGoal(const char* what, const Figures& ours, const char* unit, double reference,
               const char* reference_is) {
    std::printf("%-38s %10.3f %10.3f %-3s %10.3f %-22s %6.2f\n", what, ours.min, ours.median, unit,
                reference, reference_is, ours.min / reference);
}

int GoalsMain(int rounds) {
    const Scale& scale = kScales[2];
    const std::string& folder = EnsureSet(scale);
    const double entries = static_cast<double>(scale.signatures) + scale.locations;
    std::vector<double> quiet, busy, per_entry, cpu, faults;
    for (int round = 0; round < rounds; ++round) {
        const PeakLoad q = MeasureInFreshProcess(folder);
        const PeakLoad b = MeasureInFreshProcess(folder, true);
        if (q.seconds <= 0 || b.seconds <= 0) {
            std::fprintf(stderr, "the L set did not load\n");
            return 1;
        }
        quiet.push_back(q.seconds);
        busy.push_back(b.seconds);
        per_entry.push_back(q.peak_mib * 1048576.0 / entries);
        cpu.push_back(q.cpu_seconds);
        faults.push_back(q.page_faults);
        std::fprintf(stderr, "round %d: quiet %.3f s, busy %.3f s, %.0f B per entry\n", round + 1,
                     q.seconds, b.seconds, per_entry.back());
    }

    auto& l = LargeSet();
    const Queries& q = l.queries;
    const olvex::Md5Supplier no_md5 = [] { return std::optional<olvex::Md5Digest>{}; };
    const olvex::Md5Digest other_md5{1};
    struct Lookup {
        const char* name;
        double goal_ns;
        std::function<double()> run;
    };
    const Lookup lookups[] = {
        {"FindPest miss", 1000,
         [&] {
             return NanosecondsPerLookup(
                 q.pest_misses, [&](std::int32_t id) { return l.db.FindPest(id).has_value(); });
         }},
        {"MatchFileSignature miss (head CRC)", 1000,
         [&] {
             return NanosecondsPerLookup(q.crc_misses, [&](std::uint32_t crc) {
                 return l.db.MatchFileSignature(crc, no_md5).has_value();
             });
         }},
        {"MatchFileSignature miss (MD5 differs)", 1000,
         [&] {
             return NanosecondsPerLookup(q.md5_hits, [&](const auto& query) {
                 return l.db
                     .MatchFileSignature(query.first, [&] { return std::optional(other_md5); })
                     .has_value();
             });
         }},
        {"FindPestByMemoryCrc miss", 1000,
         [&] {
             return NanosecondsPerLookup(q.memory_misses, [&](std::uint32_t crc) {
                 return l.db.FindPestByMemoryCrc(crc).has_value();
             });
         }},
        {"FindCookie miss", 1000,
         [&] {
             return NanosecondsPerLookup(q.cookie_misses.views(), [&](std::string_view name) {
                 return l.db.FindCookie(name).has_value();
             });
         }},
        {"FindPathLocation miss", 300,
         [&] {
             return NanosecondsPerLookup(q.path_misses.views(), [&](std::string_view path) {
                 return l.db.FindPathLocation(path).has_value();
             });
         }},
        {"FindKeyLocation miss", 1000,
         [&] {
             return NanosecondsPerLookup(q.key_misses, [&](const auto& key) {
                 return l.db.FindKeyLocation(key.first, key.second).has_value();
             });
         }},
    };
    std::vector<std::vector<double>> times(std::size(lookups));
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t i = 0; i < std::size(lookups); ++i)
            times[i].push_back(lookups[i].run());
    }

    std::printf("%-38s %10s %10s %-3s %10s %-22s %6s\n", "goal", "ours min", "median", "", "reference",
                "", "ratio");
    const Figures quiet_figures = Summarize(quiet);
    PrintGoal("L load, quiet", quiet_figures, "s", 0.5, "goal");
    const std::string busy_label = "L load, " + std::to_string(BusyCores::Count()) + " cores busy";
    PrintGoal(busy_label.c_str(), Summarize(busy), "s", 1.5, "goal");
    PrintGoal("L load, busy against quiet", Summarize(busy), "s", quiet_figures.min,
              "quiet min, this run");
    PrintGoal("L load, peak memory per entry", Summarize(per_entry), "B", 200, "goal");
    for (std::size_t i = 0; i < std::size(lookups); ++i)
        PrintGoal(lookups[i].name, Summarize(times[i]), "ns", lookups[i].goal_ns, "goal");
    const Figures cpu_figures = Summarize(cpu);
    const Figures fault_figures = Summarize(faults);
    std::printf("L load, quiet: CPU time of all its threads %.3f s (median %.3f s), "
                "page faults %.0f (median %.0f)\n",
                cpu_figures.min, cpu_figures.median, fault_figures.min, fault_figures.median);
    std::printf("(%d rounds, quiet and busy loads interleaved, each in a fresh process)\n", rounds);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string_view peak_load = "--peak-load=";
    const std::string_view goals = "--goals";
    bool busy = false;
    for (int i = 1; i < argc; ++i)
        busy = busy || std::string_view(argv[i]) == "--busy";
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg.starts_with(peak_load))
            return PeakLoadMain(argv[i] + peak_load.size(), busy);
        if (arg == goals)
            return GoalsMain(5);
        if (arg.starts_with("--goals="))
            return GoalsMain(std::max(1, std::atoi(argv[i] + 8)));
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
