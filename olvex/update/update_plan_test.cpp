#include "olvex/update/update_plan.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace olvex {
namespace {

UpdateControlRecord Entry(const std::string& name, std::int32_t version, std::uint32_t size,
                          std::int32_t type = kUpdateCopyFile) {
    UpdateControlRecord entry;
    entry.file_name = name;
    entry.version = version;
    entry.size = size;
    entry.type = type;
    entry.url = "http://h/" + name;
    return entry;
}

UpdateControlRecord Delta(const std::string& name, std::uint32_t size) {
    UpdateControlRecord entry = Entry(name, 9, size, kUpdateDatDelta);
    return entry;
}

// A machine: installed versions (by name), local files, and the delta route
// the index would give (nullopt: none).
struct Machine {
    std::map<std::string, std::int32_t> installed;
    std::set<std::string> files;
    std::optional<DeltaPlan> deltas;
    // What plan_deltas was asked with.
    int delta_calls = 0;
    std::uint64_t whole_bytes_seen = 0;

    UpdatePlanSources Sources() {
        UpdatePlanSources sources;
        sources.installed = [this](std::string_view name) {
            LocalFileVersion found;
            if (const auto at = installed.find(std::string(name)); at != installed.end())
                found.version = at->second;
            return found;
        };
        sources.file_exists = [this](const std::string& path) { return files.count(path) > 0; };
        sources.plan_deltas = [this](const UpdateControlRecord&, std::uint64_t whole) {
            ++delta_calls;
            whole_bytes_seen = whole;
            return deltas;
        };
        return sources;
    }
};

const std::vector<UpdateControlRecord> kControl = {
    Entry("qzfile.dat", 9, 1000),   Entry("qzinfo.dat", 9, 2000), Entry("qzloc.dat", 9, 3000),
    Entry("incupdates.inf", 9, 50), Entry("langv5.dat", 4, 700),
};

Machine InstalledAt(std::int32_t definitions, std::int32_t language) {
    Machine m;
    for (const char* name : {"qzfile.dat", "qzinfo.dat", "qzloc.dat"}) {
        m.installed[name] = definitions;
        m.files.insert(std::string("C:\\app\\") + name);
    }
    m.installed["langv5.dat"] = language;
    m.files.insert("C:\\app\\langv5.dat");
    return m;
}

DeltaPlan TwoGroups() {
    DeltaPlan plan;
    for (const char* name :
         {"qzfile9.qzu", "qzinfo9.qzu", "qzloc9.qzu", "qzfile8.qzu", "qzinfo8.qzu", "qzloc8.qzu"})
        plan.files.push_back(Delta(name, 10));
    plan.bytes = 60;
    return plan;
}

std::vector<std::string> Names(const UpdatePlan& plan) {
    std::vector<std::string> names;
    for (const auto& entry : plan.pending)
        names.push_back(entry.file_name);
    return names;
}

TEST(UpdatePlan, Routes) {
    const struct {
        const char* name;
        Machine machine;
        std::vector<std::string> pending;
        std::uint64_t bytes;
        bool deltas;
    } cases[] = {
        {"nothing newer", InstalledAt(9, 4), {}, 0, false},
        {"only the language file", InstalledAt(9, 3), {"langv5.dat"}, 700, false},
        {"deltas",
         [] {
             auto m = InstalledAt(7, 4);
             m.deltas = TwoGroups();
             return m;
         }(),
         {"qzfile9.qzu", "qzinfo9.qzu", "qzloc9.qzu", "qzfile8.qzu", "qzinfo8.qzu", "qzloc8.qzu"},
         60,
         true},
        {"no delta chain: whole files",
         InstalledAt(7, 4),
         {"qzfile.dat", "qzinfo.dat", "qzloc.dat"},
         6000,
         false},
        {"a definition file missing: whole files",
         [] {
             auto m = InstalledAt(9, 4);
             m.files.erase("C:\\app\\qzloc.dat");
             m.deltas = TwoGroups();
             return m;
         }(),
         {"qzloc.dat"},
         3000,
         false},
        {"never installed: everything whole",
         Machine{},
         {"langv5.dat", "qzfile.dat", "qzinfo.dat", "qzloc.dat"},
         6700,
         false},
    };
    for (auto c : cases) {
        const UpdatePlan plan = PlanUpdates(kControl, "C:\\app", c.machine.Sources());
        EXPECT_EQ(Names(plan), c.pending) << c.name;
        EXPECT_EQ(plan.count, c.pending.size()) << c.name;
        EXPECT_EQ(plan.bytes, c.bytes) << c.name;
        EXPECT_EQ(plan.deltas, c.deltas) << c.name;
    }
}

TEST(UpdatePlan, DeltaRouteIsWeighedWithTheNeededWholeFiles) {
    Machine m = InstalledAt(7, 4);
    m.installed["qzloc.dat"] = 9;  // only two of the three are behind
    m.deltas = TwoGroups();
    const UpdatePlan plan = PlanUpdates(kControl, "C:\\app", m.Sources());
    EXPECT_EQ(m.delta_calls, 1);
    EXPECT_EQ(m.whole_bytes_seen, 3000u);
    EXPECT_TRUE(plan.deltas);
    EXPECT_EQ(plan.count, 6u);

    // A missing file never asks for the delta route; nor does a control file
    // without a delta index.
    Machine missing = InstalledAt(7, 4);
    missing.files.erase("C:\\app\\qzinfo.dat");
    PlanUpdates(kControl, "C:\\app", missing.Sources());
    EXPECT_EQ(missing.delta_calls, 0);
    Machine no_index = InstalledAt(7, 4);
    const std::vector<UpdateControlRecord> without(kControl.begin(), kControl.begin() + 3);
    const UpdatePlan whole = PlanUpdates(without, "C:\\app", no_index.Sources());
    EXPECT_EQ(no_index.delta_calls, 0);
    EXPECT_EQ(whole.count, 3u);
}

// Definitions of the latest version that do not load (an apply cut short by
// an older program, a disk fault) are not trusted: the whole files come
// again, never deltas on top of them. The load is asked about only when the
// control file lists a definition file.
TEST(UpdatePlan, InstalledDefinitionsThatDoNotLoadComeAgainWhole) {
    for (const bool loads : {true, false}) {
        Machine m = InstalledAt(9, 4);
        m.deltas = TwoGroups();
        int load_calls = 0;
        auto sources = m.Sources();
        sources.definitions_load = [&] {
            ++load_calls;
            return loads;
        };
        const UpdatePlan plan = PlanUpdates(kControl, "C:\\app", sources);
        EXPECT_EQ(load_calls, 1);
        EXPECT_FALSE(plan.deltas);
        EXPECT_EQ(m.delta_calls, 0);
        const std::vector<std::string> whole = {"qzfile.dat", "qzinfo.dat", "qzloc.dat"};
        EXPECT_EQ(Names(plan), loads ? std::vector<std::string>() : whole) << loads;

        const std::vector<UpdateControlRecord> language_only = {kControl[4]};
        Machine other = InstalledAt(9, 3);
        auto other_sources = other.Sources();
        other_sources.definitions_load = sources.definitions_load;
        const std::vector<std::string> language = {"langv5.dat"};
        EXPECT_EQ(Names(PlanUpdates(language_only, "C:\\app", other_sources)), language);
        EXPECT_EQ(load_calls, 1);
    }
}

TEST(UpdatePlan, OrderOfTheControlFileDoesNotMatter) {
    // The delta index listed before the definition files still offers deltas,
    // and the totals always count what is pending.
    const std::vector<UpdateControlRecord> reordered = {kControl[3], kControl[4], kControl[0],
                                                        kControl[1], kControl[2]};
    Machine m = InstalledAt(7, 3);
    m.deltas = TwoGroups();
    const UpdatePlan plan = PlanUpdates(reordered, "C:\\app", m.Sources());
    EXPECT_TRUE(plan.deltas);
    EXPECT_EQ(plan.count, 7u);
    EXPECT_EQ(plan.bytes, 760u);
    EXPECT_EQ(plan.pending.front().file_name, "langv5.dat");
}

TEST(UpdatePlan, ProgramsAndRecordedKindsGoByVersionAlone) {
    // None of them leaves a file in the application folder.
    const std::vector<UpdateControlRecord> control = {
        Entry("tool.exe", 3, 10, kUpdateExecutable), Entry("marker", 2, 10, kUpdateRecordOnly4),
        Entry("notes.txt", 2, 10, kUpdateCopyFile), Entry("olvex.dll", 7, 10, kUpdateEngineDll)};
    Machine m;
    m.installed = {{"tool.exe", 3}, {"marker", 2}, {"notes.txt", 2}, {"olvex.dll", 7}};
    EXPECT_EQ(Names(PlanUpdates(control, "C:\\app", m.Sources())),
              (std::vector<std::string>{"notes.txt", "olvex.dll"}));
    m.installed["tool.exe"] = 2;
    m.files = {"C:\\app\\notes.txt", "C:\\app\\olvex.dll"};
    EXPECT_EQ(Names(PlanUpdates(control, "C:\\app", m.Sources())),
              (std::vector<std::string>{"tool.exe"}));
}

TEST(UpdatePlan, LocalPaths) {
    EXPECT_EQ(LocalPathOf("qzfile.dat", {}, "C:\\app"), "C:\\app\\qzfile.dat");
    EXPECT_EQ(LocalPathOf("qzfile.dat", {3, "d:\\defs\\qzfile.dat"}, "C:\\app"),
              "d:\\defs\\qzfile.dat");
    EXPECT_TRUE(IsDefinitionFileName("QZINFO.DAT"));
    EXPECT_FALSE(IsDefinitionFileName("old-qzinfo.dat"));
    EXPECT_TRUE(IsDeltaIndexName("IncUpdates.inf"));
}

}  // namespace
}  // namespace olvex
