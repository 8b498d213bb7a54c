// The scanner's asynchronous scans under Wine: each runs its scan on a
// thread of its own and ends with ScanComplete; the thread control waits
// for it, polls it and stops it, and a stopped scan sends nothing more and
// holds nothing; no handle is left behind over many scans.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "win/unique.h"
#include "olvex/scan/registry_test_support.h"
#include "olvex/scan/scanner_scan_fixture.h"
#include "testing/test_registry_key.h"
#include "testing/windows_test_support.h"

namespace olvex {
namespace {

using scan_test::Bstr;
using scan_test::FileSignature;
using scan_test::RecordingSink;
using scan_test::UniqueCopy;
using scan_test::WideLines;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;

// An event the test and a scan thread share; manual reset.
class Signal {
  public:
    Signal() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    void Set() const { SetEvent(event_.get()); }
    bool WaitFor(DWORD ms = 30000) const {
        return WaitForSingleObject(event_.get(), ms) == WAIT_OBJECT_0;
    }

  private:
    win::UniqueHandle event_;
};

enum class Kind { kMemory, kRegistry, kFile, kFolder };

class AsyncScanTest : public scan_test::ScannerScanTest {
  protected:
    void SetUp() override {
        ScannerScanTest::SetUp();
        pest_ = UniqueCopy(dir_, "test_pest.exe", "tree\\pest.exe");
        dir_.Write("tree\\clean.txt", "nothing");
        scan_test::SetStringValue(HKEY_CURRENT_USER, key_.Path() + "\\Pest", "Run", "pest.exe");
    }
    // The pest file and key, and `extra` more registry locations that are
    // not there.
    void DefineAll(int extra = 0) {
        std::string records = FileSignature(2001, pest_) + "key 2002 \"hkey_current_user \\" +
                              key_.Path() + "\\Pest\" value \"Run\" data \"pest.exe\"\n";
        for (int i = 0; i < extra; ++i)
            records += "key 2003 \"hkey_current_user \\" + key_.Path() + "\\Missing\\" +
                       std::to_string(i) + "\"\n";
        Define(records);
    }

    com::ComPtr<IThreadControl> Launch(Kind kind, IScanner* scanner = nullptr) {
        if (!scanner)
            scanner = scanner_.Get();
        com::ComPtr<IThreadControl> control;
        HRESULT hr = E_FAIL;
        switch (kind) {
            case Kind::kMemory:
                hr = scanner->ScanMemoryAsync(control.Put());
                break;
            case Kind::kRegistry:
                hr = scanner->ScanRegistryAsync(control.Put());
                break;
            case Kind::kFile:
                hr = scanner->ScanFileAsync(Bstr(pest_), control.Put());
                break;
            case Kind::kFolder:
                hr = scanner->ScanFolderAsync(Bstr(Tree()), VARIANT_TRUE, control.Put());
                break;
        }
        EXPECT_EQ(hr, S_OK);
        return control;
    }
    void ScanSynchronously(Kind kind) {
        VARIANT_BOOL ok = 7;
        if (kind == Kind::kRegistry)
            scanner_->ScanRegistry(&ok);
        else if (kind == Kind::kFile)
            scanner_->ScanFile(Bstr(pest_), &ok);
        else
            scanner_->ScanFolder(Bstr(Tree()), VARIANT_TRUE, &ok);
        EXPECT_EQ(ok, VARIANT_TRUE);
    }
    static bool Running(IThreadControl* control) {
        VARIANT_BOOL running = 7;
        EXPECT_EQ(control->IsRunning(&running), S_OK);
        return running == VARIANT_TRUE;
    }
    std::string Tree() const { return dir_.path().string() + "\\tree"; }

    testing::TestRegistryKey key_;
    std::string pest_;
};

TEST_F(AsyncScanTest, BeforeInitialisationNoThreadIsStarted) {
    VARIANT_BOOL ok = 7;
    ASSERT_EQ(scanner_->Initialize(Bstr(dir_.path().string() + "\\missing"), &ok), S_OK);
    ASSERT_EQ(ok, VARIANT_FALSE);
    const LONG load_error = LastCode();
    ASSERT_NE(load_error, 0);
    for (const Kind kind : {Kind::kMemory, Kind::kRegistry, Kind::kFile}) {
        scanner_->put_bsLastError(Bstr(L"x"));
        IThreadControl* control = reinterpret_cast<IThreadControl*>(1);
        switch (kind) {
            case Kind::kMemory:
                EXPECT_EQ(scanner_->ScanMemoryAsync(&control), S_OK);
                break;
            case Kind::kRegistry:
                EXPECT_EQ(scanner_->ScanRegistryAsync(&control), S_OK);
                break;
            default:
                EXPECT_EQ(scanner_->ScanFileAsync(Bstr(pest_), &control), S_OK);
                break;
        }
        EXPECT_EQ(control, nullptr);
        EXPECT_EQ(LastError(), L"Not initialized.");
        EXPECT_EQ(LastCode(), load_error);
    }
    IThreadControl* control = reinterpret_cast<IThreadControl*>(1);
    EXPECT_EQ(scanner_->ScanFolderAsync(Bstr(Tree()), VARIANT_TRUE, &control), S_OK);
    EXPECT_EQ(control, nullptr);
    EXPECT_EQ(LastCode(), 9);
    EXPECT_THAT(sink_.Lines(), IsEmpty());
    EXPECT_EQ(scanner_->ScanMemoryAsync(nullptr), E_POINTER);
}

TEST_F(AsyncScanTest, EachRunsTheScanOnItsOwnThreadAndEndsWithScanComplete) {
    DefineAll();
    for (const Kind kind : {Kind::kRegistry, Kind::kFile, Kind::kFolder}) {
        SCOPED_TRACE(static_cast<int>(kind));
        sink_.Clear();
        ScanSynchronously(kind);
        const WideLines expected = sink_.Lines();
        ASSERT_THAT(expected, Contains(::testing::StartsWith(L"PestDetected")));

        sink_.Clear();
        const auto control = Launch(kind);
        ASSERT_TRUE(control);
        EXPECT_EQ(control->WaitForCompletion(), S_OK);
        EXPECT_FALSE(Running(control.Get()));
        EXPECT_EQ(sink_.Lines(), expected);
        EXPECT_THAT(sink_.Threads(), Not(Contains(GetCurrentThreadId())));
    }
    sink_.Clear();
    const auto control = Launch(Kind::kMemory);
    ASSERT_TRUE(control);
    EXPECT_EQ(control->WaitForCompletion(), S_OK);
    const WideLines lines = sink_.Lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.front(), L"StartingItem Memory");
    EXPECT_THAT(WideLines(lines.end() - 2, lines.end()),
                ElementsAre(L"FinishedItem Memory", L"ScanComplete"));
}

TEST_F(AsyncScanTest, RunningUntilScanCompleteHasBeenSent) {
    DefineAll();
    Signal asked, answer;
    sink_.on_question = [&](int question) {
        if (question == 1) {
            asked.Set();
            answer.WaitFor();
        }
        return true;
    };
    const auto control = Launch(Kind::kRegistry);
    ASSERT_TRUE(control);
    ASSERT_TRUE(asked.WaitFor());
    EXPECT_TRUE(Running(control.Get()));
    EXPECT_THAT(sink_.Lines(), Not(Contains(L"ScanComplete")));
    answer.Set();
    EXPECT_EQ(control->WaitForCompletion(), S_OK);
    EXPECT_EQ(sink_.Lines().back(), L"ScanComplete");
    EXPECT_FALSE(Running(control.Get()));
    EXPECT_EQ(control->WaitForCompletion(), S_OK);  // at once, the thread has ended
}

TEST_F(AsyncScanTest, StopDuringASlowScanEndsItWithNoLaterEvent) {
    DefineAll(400);
    sink_.record_questions = false;
    for (const bool paused_first : {false, true}) {
        SCOPED_TRACE(paused_first ? "paused first" : "running");
        sink_.Clear();
        Signal busy;
        sink_.on_question = [&](int question) {
            if (question == 20)
                busy.Set();
            Sleep(2);
            return true;
        };
        const auto control = Launch(Kind::kRegistry);
        ASSERT_TRUE(control);
        ASSERT_TRUE(busy.WaitFor());
        if (paused_first) {
            EXPECT_EQ(control->Pause(), S_OK);
        }
        EXPECT_EQ(control->Stop(), S_OK);
        EXPECT_FALSE(Running(control.Get()));
        const WideLines at_stop = sink_.Lines();
        EXPECT_THAT(at_stop, Not(Contains(L"ScanComplete")));
        EXPECT_THAT(at_stop, Not(Contains(L"ScanAborted Aborted by user.")));
        EXPECT_THAT(at_stop, Not(Contains(L"FinishedItem Common Registry Locations")));
        Sleep(200);
        EXPECT_EQ(sink_.Count(), at_stop.size());
        // What the scan held is let go: the callback is held by the scanner
        // alone again.
        EXPECT_EQ(sink_.References(), 1u);
    }
    // The next scan, on another scanner, runs to its end.
    com::ComPtr<IScanner> other;
    ASSERT_EQ(com::CreateEngineObject(CLSID_Scanner, other.Put()), S_OK);
    VARIANT_BOOL ok = 7;
    ASSERT_EQ(other->Initialize(Bstr(dir_.path().string() + "\\defs"), &ok), S_OK);
    RecordingSink other_sink;
    other->put_Callback(&other_sink);
    const auto control = Launch(Kind::kRegistry, other.Get());
    ASSERT_TRUE(control);
    control->WaitForCompletion();
    EXPECT_EQ(other_sink.Lines().back(), L"ScanComplete");
    EXPECT_THAT(other_sink.Only(L"PestDetected"), ::testing::SizeIs(1));
    other.Reset();
    EXPECT_EQ(other_sink.References(), 0u);
}

TEST_F(AsyncScanTest, TheScanHoldsTheScannerAndCallbackUntilItEnds) {
    DefineAll();
    Signal asked, answer;
    sink_.on_question = [&](int question) {
        if (question == 1) {
            asked.Set();
            answer.WaitFor();
        }
        return true;
    };
    const auto control = Launch(Kind::kRegistry);
    ASSERT_TRUE(control);
    ASSERT_TRUE(asked.WaitFor());
    scanner_.Reset();  // the client lets go while the scan runs
    EXPECT_GE(sink_.References(), 1u);
    answer.Set();
    EXPECT_EQ(control->WaitForCompletion(), S_OK);
    EXPECT_EQ(sink_.Lines().back(), L"ScanComplete");
    EXPECT_EQ(sink_.References(), 0u);
}

TEST_F(AsyncScanTest, NoHandleIsLeftBehindOver200Scans) {
    DefineAll();
    sink_.record_questions = false;
    const Kind kinds[] = {Kind::kMemory, Kind::kRegistry, Kind::kFile, Kind::kFolder};
    const auto run = [&](Kind kind) {
        sink_.Clear();
        const auto control = Launch(kind);
        ASSERT_TRUE(control);
        control->WaitForCompletion();
        ASSERT_EQ(sink_.Lines().back(), L"ScanComplete");
    };
    for (const Kind kind : kinds)
        run(kind);  // what the first scans set up and keep
    const DWORD before = testing::OpenHandleCount();
    ASSERT_GT(before, 0u);
    for (int i = 0; i < 200; ++i)
        run(kinds[i % 4]);
    const DWORD after = testing::OpenHandleCount();
    RecordProperty("handles_before", static_cast<int>(before));
    RecordProperty("handles_after", static_cast<int>(after));
    EXPECT_LE(after, before + 3) << "before " << before << ", after " << after;
}

}  // namespace
}  // namespace olvex
