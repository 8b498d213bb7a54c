// The memory scan over processes of the test's own: the event sequence of
// one pass (by memory, by file, neither, processes that cannot be opened or
// named), the modules flag, and the client's stop.
#include "olvex/scan/memory_scan.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "olvex/scan/scan_test_support.h"
#include "testing/scratch_dir.h"

namespace olvex {
namespace {

using scan_test::RecordingEvents;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using Lines = std::vector<std::string>;

using Page = std::array<std::uint8_t, kMemoryBlockBytes>;

Page FilledPage(std::uint8_t byte) {
    Page page;
    page.fill(byte);
    return page;
}

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "%08x", value);
    return text;
}

struct FakeProcess {
    RunningProcess process;
    bool opens = true;
    std::optional<Page> page;  // at the image base; none: unreadable
    std::vector<LoadedModule> modules;
};

class FakeProcesses : public ProcessSource {
  public:
    std::vector<FakeProcess> processes;
    int open_now = 0;  // processes opened and not closed yet
    std::vector<std::uint32_t> modules_asked;

    std::vector<RunningProcess> Processes() override {
        std::vector<RunningProcess> list;
        for (const auto& fake : processes)
            list.push_back(fake.process);
        return list;
    }
    std::unique_ptr<OpenedProcess> Open(std::uint32_t id) override {
        const FakeProcess& fake = Find(id);
        if (!fake.opens)
            return nullptr;
        return std::make_unique<Opened>(fake, open_now);
    }
    std::vector<LoadedModule> Modules(std::uint32_t id) override {
        modules_asked.push_back(id);
        return Find(id).modules;
    }
    // Files whose version can be told; each answer in turn, the last one
    // from then on (a file replaced while the pass runs).
    std::map<std::string, std::vector<FileVersion>> versions;
    std::optional<FileVersion> VersionOf(const std::string& path) override {
        auto known = versions.find(path);
        if (known == versions.end() || known->second.empty())
            return std::nullopt;
        const FileVersion version = known->second.front();
        if (known->second.size() > 1)
            known->second.erase(known->second.begin());
        return version;
    }

  private:
    class Opened : public OpenedProcess {
      public:
        Opened(const FakeProcess& fake, int& open_now) : fake_(fake), open_now_(open_now) {
            ++open_now_;
        }
        ~Opened() override { --open_now_; }
        bool ReadPage(std::uintptr_t address, ImagePage page) override {
            if (address != fake_.process.image_base || !fake_.page)
                return false;
            std::copy(fake_.page->begin(), fake_.page->end(), page.begin());
            return true;
        }

      private:
        const FakeProcess& fake_;
        int& open_now_;
    };

    const FakeProcess& Find(std::uint32_t id) const {
        return *std::find_if(processes.begin(), processes.end(),
                             [id](const FakeProcess& p) { return p.process.id == id; });
    }
};

class MemoryScanTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // 1001 by its image in memory, 1002 and 1003 by their files.
        database_ = scan_test::LoadDefinitions(dir_.path().string(),
                                               "block 2004-03-15 09:40:00\n"
                                               "pest 1001 \"Mem.Pest\" \"Adware\"\n"
                                               "pest 1002 \"File.Pest\" \"Spyware\"\n"
                                               "pest 1003 \"Module.Pest\" \"Spyware\"\n"
                                               "memory 1001 " +
                                                   Hex(Crc32(FilledPage('M'))) + "\n");
        files_ = {{"C:\\mem.exe", 1002}, {"C:\\file.exe", 1002}, {"C:\\bad.dll", 1003}};
        const std::vector<LoadedModule> modules = {
            {"host.exe", "C:\\host.exe"}, {"bad.dll", "C:\\bad.dll"}, {"good.dll", "C:\\good.dll"}};
        processes_.processes = {
            // Its memory names it; its file would too, but is not asked.
            {{10, "C:\\mem.exe", 0x400000}, true, FilledPage('M'), {}},
            // Known by its file only.
            {{11, "C:\\file.exe", 0x400000}, true, FilledPage('F'), {}},
            // Neither: no FinishedItem. Hosts the pest module.
            {{12, "C:\\host.exe", 0x140000000ull}, true, FilledPage('H'), modules},
            // Cannot be opened: nothing at all.
            {{13, "C:\\system.exe", 0x400000}, false, FilledPage('M'), {}},
            // Its path could not be told: nothing to report it by.
            {{14, "", 0x400000}, true, FilledPage('M'), {}},
            // No image base (Windows 9x), or an image that cannot be read:
            // judged by the file.
            {{15, "C:\\file.exe", 0}, true, FilledPage('M'), {}},
            {{16, "C:\\file.exe", 0x400000}, true, std::nullopt, {}},
        };
    }

    Lines Scan(bool modules) {
        DetectedItems detected;
        ScanReporter reporter(&events_, nullptr, detected);
        ScanMemory(processes_, *database_, Identify(), reporter, MultiByteText::SingleByte(),
                   modules);
        EXPECT_EQ(processes_.open_now, 0);
        return events_.lines;
    }

    FileIdentifier Identify() {
        return [this](const std::string& path) -> std::optional<std::int32_t> {
            identified_.push_back(path);
            const auto known = files_.find(path);
            return known == files_.end() ? std::nullopt : std::optional(known->second);
        };
    }

    testing::ScratchDir dir_;
    std::unique_ptr<CDatDatabase> database_;
    std::map<std::string, std::int32_t> files_;
    FakeProcesses processes_;
    RecordingEvents events_;
    Lines identified_;
};

const std::string kDetect = "VerboseInformation IScanner::DetectWithExclusionCheck invoked.";

Lines ProcessEvents(bool modules) {
    Lines lines = {
        "StartingItem Memory",
        "ShouldScanContinue",
        "StartingItem ProcessId \"10\" File \"C:\\mem.exe\"",
        kDetect,
        "PestDetected 1001 ProcessId \"10\" File \"C:\\mem.exe\"",
        "FinishedItem ProcessId \"10\" File \"C:\\mem.exe\"",
        "ShouldScanContinue",
        "StartingItem ProcessId \"11\" File \"C:\\file.exe\"",
        kDetect,
        "PestDetected 1002 ProcessId \"11\" File \"C:\\file.exe\"",
        "FinishedItem ProcessId \"11\" File \"C:\\file.exe\"",
        "ShouldScanContinue",
        "StartingItem ProcessId \"12\" File \"C:\\host.exe\"",
    };
    if (modules) {
        lines.insert(lines.end(),
                     {
                         "ShouldScanContinue",
                         "StartingItem ModuleName \"bad.dll\" File \"C:\\bad.dll\"",
                         kDetect,
                         "PestDetected 1003 ModuleName \"bad.dll\" File \"C:\\bad.dll\"",
                         "FinishedItem ModuleName \"bad.dll\" File \"C:\\bad.dll\"",
                         "ShouldScanContinue",
                         "StartingItem ModuleName \"good.dll\" File \"C:\\good.dll\"",
                         "FinishedItem ModuleName \"good.dll\" File \"C:\\good.dll\"",
                     });
    }
    lines.insert(lines.end(), {
                                  "ShouldScanContinue",  // 13
                                  "ShouldScanContinue",  // 14
                                  "ShouldScanContinue",
                                  "StartingItem ProcessId \"15\" File \"C:\\file.exe\"",
                                  kDetect,
                                  "PestDetected 1002 ProcessId \"15\" File \"C:\\file.exe\"",
                                  "FinishedItem ProcessId \"15\" File \"C:\\file.exe\"",
                                  "ShouldScanContinue",
                                  "StartingItem ProcessId \"16\" File \"C:\\file.exe\"",
                                  kDetect,
                                  "PestDetected 1002 ProcessId \"16\" File \"C:\\file.exe\"",
                                  "FinishedItem ProcessId \"16\" File \"C:\\file.exe\"",
                                  "FinishedItem Memory",
                              });
    return lines;
}

TEST_F(MemoryScanTest, OnePassWithoutModules) {
    EXPECT_THAT(Scan(false), ElementsAreArray(ProcessEvents(false)));
    // A process its memory named is not looked up by its file.
    EXPECT_THAT(identified_,
                ElementsAre("C:\\file.exe", "C:\\host.exe", "C:\\file.exe", "C:\\file.exe"));
    EXPECT_TRUE(processes_.modules_asked.empty());
}

TEST_F(MemoryScanTest, OnePassWithModulesChecksEveryModuleButTheMainImage) {
    EXPECT_THAT(Scan(true), ElementsAreArray(ProcessEvents(true)));
    EXPECT_EQ(std::count(identified_.begin(), identified_.end(), "C:\\host.exe"), 1);
}

TEST_F(MemoryScanTest, EachFileIsIdentifiedOncePerPass) {
    // Three more processes load the same libraries, one under another case;
    // one library is replaced between two processes; one cannot be told.
    const std::vector<LoadedModule> modules = {{"x.exe", "C:\\x.exe"},
                                               {"bad.dll", "C:\\bad.dll"},
                                               {"good.dll", "C:\\good.dll"},
                                               {"swap.dll", "C:\\swap.dll"},
                                               {"odd.dll", "C:\\odd.dll"}};
    auto upper = modules;
    upper[1].path = "C:\\BAD.DLL";
    processes_.processes.push_back({{20, "C:\\x.exe", 0x400000}, true, FilledPage('X'), modules});
    processes_.processes.push_back({{21, "C:\\x.exe", 0x400000}, true, FilledPage('X'), upper});
    processes_.processes.push_back({{22, "C:\\x.exe", 0x400000}, true, FilledPage('X'), modules});
    const FileVersion v1{100, 1}, v2{100, 2};
    processes_.versions = {{"C:\\file.exe", {v1}},  {"C:\\host.exe", {v1}},
                           {"C:\\x.exe", {v1}},     {"C:\\bad.dll", {v1}},
                           {"C:\\BAD.DLL", {v1}},   {"C:\\good.dll", {v1}},
                           {"C:\\swap.dll", {v1, v2}}};
    files_["C:\\BAD.DLL"] = 1003;

    const Lines lines = Scan(true);
    // Every process and module still has its events, as without the
    // answers kept.
    EXPECT_EQ(std::count(lines.begin(), lines.end(),
                         "PestDetected 1003 ModuleName \"bad.dll\" File \"C:\\bad.dll\""),
              3);
    EXPECT_EQ(std::count(lines.begin(), lines.end(),
                         "PestDetected 1003 ModuleName \"bad.dll\" File \"C:\\BAD.DLL\""),
              1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(),
                         "FinishedItem ModuleName \"odd.dll\" File \"C:\\odd.dll\""),
              3);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "PestDetected 1002 ProcessId \"15\" File "
                                                     "\"C:\\file.exe\""),
              1);
    const auto times = [&](const char* path) {
        return std::count(identified_.begin(), identified_.end(), path);
    };
    EXPECT_EQ(times("C:\\file.exe"), 1);  // three processes
    EXPECT_EQ(times("C:\\x.exe"), 1);
    EXPECT_EQ(times("C:\\bad.dll") + times("C:\\BAD.DLL"), 1);
    EXPECT_EQ(times("C:\\good.dll"), 1);
    EXPECT_EQ(times("C:\\swap.dll"), 2);  // once before, once after it was replaced
    EXPECT_EQ(times("C:\\odd.dll"), 3);   // its version cannot be told

    // The next pass asks again.
    identified_.clear();
    events_ = RecordingEvents();
    Scan(true);
    EXPECT_EQ(times("C:\\good.dll"), 1);
}

TEST_F(MemoryScanTest, WithoutCallbackFindingsGoToTheList) {
    DetectedItems detected;
    ScanReporter reporter(nullptr, nullptr, detected);
    ScanMemory(processes_, *database_, Identify(), reporter, MultiByteText::SingleByte(), true);
    EXPECT_EQ(detected.Size(), 5u);
    EXPECT_EQ(detected.TakeNewest()->location, "ProcessId \"16\" File \"C:\\file.exe\"");
}

TEST_F(MemoryScanTest, TheClientsStopLeavesTheScanWithoutAbortOrSectionEnd) {
    // The stop at the second process; then, with modules, at a module,
    // which the next process's question ends.
    events_.should_continue = [](int question) { return question < 2; };
    EXPECT_THAT(
        Scan(false),
        ElementsAre("StartingItem Memory", "ShouldScanContinue",
                    "StartingItem ProcessId \"10\" File \"C:\\mem.exe\"", kDetect,
                    "PestDetected 1001 ProcessId \"10\" File \"C:\\mem.exe\"",
                    "FinishedItem ProcessId \"10\" File \"C:\\mem.exe\"", "ShouldScanContinue"));

    // A stop at a module leaves the module loop; the next process's
    // question, answered the same, leaves the scan.
    events_ = RecordingEvents();
    events_.record_questions = false;
    int asked = 0;
    events_.should_continue = [&asked](int question) {
        asked = question;
        return question < 5;  // processes 10, 11, 12 and the first module
    };
    const Lines lines = Scan(true);
    EXPECT_EQ(lines.back(), "FinishedItem ModuleName \"bad.dll\" File \"C:\\bad.dll\"");
    EXPECT_EQ(asked, 6);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "FinishedItem Memory"), 0);
}

}  // namespace
}  // namespace olvex
