// The database under threads (run by the tsan preset under the thread
// sanitizer): eight threads initialising at once load the set once and
// build the macro table once, while other threads look up as it loads.
#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>
#include <vector>

#include "olvex/core/dat_database.h"
#include "olvex/core/dat_test_support.h"

namespace olvex {
namespace {

using testing::FakeSpecialFolders;
using testing::PublishSource;
using testing::ScratchDir;

constexpr std::string_view kSet = R"(
block 2004-03-15 09:40:00
pest 1 "One" "Adware"
pest 2 "Two" "Spyware"
signature 1 crc 0x11
memory 2 0x22
cookie 1 "one.example"
file 2 "%SYSTEM%\two.exe"
key 1 "HKEY_LOCAL_MACHINE\Software\One"
)";

// Everything a scan asks, and a walk; how many of the answers were found.
int LookUpEverything(const CDatDatabase& db) {
    int found = 0;
    found += db.FindPest(1).has_value();
    found += !db.FindFileSignatures(0x11).empty();
    found += db.FindPestByMemoryCrc(0x22).has_value();
    found += db.FindCookie("ONE.example").has_value();
    found += db.FindPathLocation("C:\\WINDOWS\\system32\\TWO.exe").has_value();
    found += db.FindKeyLocation("HKEY_LOCAL_MACHINE\\software\\one", "").has_value();
    for (DatLocationWalk walk = db.FirstLocation(); !walk.AtEnd(); walk.Next())
        found += walk.Value().has_value();
    return found;
}

TEST(DatDatabaseThreads, EightThreadsInitialisingAtOnceLoadOnce) {
    ScratchDir scratch;
    PublishSource(scratch.path().string(), kSet);
    const FakeSpecialFolders machine = FakeSpecialFolders::Xp();
    CDatDatabase db(&machine);

    constexpr int kInitialisers = 8;
    constexpr int kReaders = 4;
    std::latch start(kInitialisers + kReaders);
    std::atomic<bool> stop{false};
    std::vector<CDatDatabase::InitialLoad> results(kInitialisers);
    std::vector<int> answers(kInitialisers, 0);
    std::vector<std::thread> threads;
    for (int i = 0; i < kInitialisers; ++i) {
        threads.emplace_back([&, i] {
            start.arrive_and_wait();
            results[i] = db.LoadUnlessLoaded(scratch.path().string(), nullptr);
            answers[i] = LookUpEverything(db);
        });
    }
    for (int i = 0; i < kReaders; ++i) {
        threads.emplace_back([&] {
            start.arrive_and_wait();
            // Before the set is there nothing is found; then everything is.
            while (!stop.load())
                LookUpEverything(db);
        });
    }
    for (int i = 0; i < kInitialisers; ++i)
        threads[i].join();
    stop = true;
    for (std::size_t i = kInitialisers; i < threads.size(); ++i)
        threads[i].join();

    int loads = 0;
    for (int i = 0; i < kInitialisers; ++i) {
        EXPECT_EQ(results[i].code, 0);
        loads += results[i].loaded_now;
        EXPECT_EQ(answers[i], 9) << i;
    }
    EXPECT_EQ(loads, 1);
    // The macro table was built once: one shell question per macro.
    EXPECT_EQ(machine.shell_calls, 16);
}

TEST(DatDatabaseThreads, ReloadingWhileOthersLookUp) {
    ScratchDir scratch;
    const std::string first = (scratch.path() / "first").string();
    const std::string second = (scratch.path() / "second").string();
    PublishSource(first, kSet);
    PublishSource(second, "block 2004-03-15 09:40:00\npest 1 \"One\" \"Adware\"\n");
    CDatDatabase db;
    db.SetDatFolder(first);
    ASSERT_EQ(db.Load(), 0);

    std::atomic<bool> stop{false};
    std::vector<std::thread> readers;
    for (int i = 0; i < 3; ++i) {
        readers.emplace_back([&] {
            while (!stop.load()) {
                // A cursor keeps the set it started on, whatever loads meanwhile.
                int pests = 0;
                for (DatCursor c = db.FirstPest(); !c.AtEnd(); c.Advance())
                    pests += c.GetPest().has_value();
                EXPECT_TRUE(pests == 1 || pests == 2);
                EXPECT_TRUE(db.FindPest(1).has_value());
            }
        });
    }
    for (int round = 0; round < 6; ++round) {
        db.SetDatFolder(round % 2 ? first : second);
        EXPECT_EQ(db.Load(), 0);
    }
    stop = true;
    for (auto& reader : readers)
        reader.join();
}

}  // namespace
}  // namespace olvex
