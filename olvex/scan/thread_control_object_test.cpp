// The asynchronous launcher and the thread control: apartments, cooperative
// pause and stop, waiting, and the thread handles.
#include "olvex/scan/thread_control_object.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <tuple>
#include <utility>

#include "olvex/com/com_ptr.h"
#include "olvex/com/engine_class.h"
#include "win/unique.h"
#include "olvex/scan/async_launcher.h"
#include "testing/windows_test_support.h"

namespace olvex {
namespace {

// An event the test and a worker share; manual reset.
class Signal {
  public:
    Signal() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    void Set() const { SetEvent(event_.get()); }
    bool WaitFor(DWORD ms = 30000) const {
        return WaitForSingleObject(event_.get(), ms) == WAIT_OBJECT_0;
    }
    bool IsSet() const { return WaitFor(0); }

  private:
    win::UniqueHandle event_;
};

class ThreadControlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    }
    void TearDown() override { CoUninitialize(); }

    static com::ComPtr<IThreadControl> Launch(ComApartment apartment, AsyncWork work) {
        com::ComPtr<IThreadControl> control;
        EXPECT_EQ(LaunchAsync(apartment, std::move(work), control.Put()), LaunchResult::kStarted);
        return control;
    }
    static bool Running(IThreadControl* control) {
        VARIANT_BOOL running = 7;
        EXPECT_EQ(control->IsRunning(&running), S_OK);
        return running == VARIANT_TRUE;
    }
};

// What the worker's own apartment is: asking for the other kind fails.
HRESULT ApartmentProbe(DWORD model) {
    const HRESULT hr = CoInitializeEx(nullptr, model);
    if (SUCCEEDED(hr))
        CoUninitialize();
    return hr;
}

TEST_F(ThreadControlTest, WorkerRunsInTheApartmentAskedFor) {
    for (const auto& [apartment, same, other] :
         {std::tuple{ComApartment::kMultiThreaded, COINIT_MULTITHREADED, COINIT_APARTMENTTHREADED},
          std::tuple{ComApartment::kSingleThreaded, COINIT_APARTMENTTHREADED,
                     COINIT_MULTITHREADED}}) {
        HRESULT same_hr = E_FAIL, other_hr = E_FAIL;
        const auto control = Launch(apartment, [&, same = same, other = other](const AsyncToken&) {
            same_hr = ApartmentProbe(same);
            other_hr = ApartmentProbe(other);
        });
        ASSERT_TRUE(control);
        EXPECT_EQ(control->WaitForCompletion(), S_OK);
        EXPECT_EQ(same_hr, S_FALSE);
        EXPECT_EQ(other_hr, RPC_E_CHANGED_MODE);
    }
}

TEST_F(ThreadControlTest, RunningUntilTheWorkEnds) {
    Signal started, release;
    std::atomic<bool> done{false};
    const auto control = Launch(ComApartment::kMultiThreaded, [&](const AsyncToken&) {
        started.Set();
        release.WaitFor();
        done = true;
    });
    ASSERT_TRUE(started.WaitFor());
    EXPECT_TRUE(Running(control.Get()));
    LONG handle = 0;
    EXPECT_EQ(control->get_hThread(&handle), S_OK);
    EXPECT_NE(handle, 0);
    release.Set();
    EXPECT_EQ(control->WaitForCompletion(), S_OK);
    EXPECT_TRUE(done);
    EXPECT_FALSE(Running(control.Get()));
    EXPECT_EQ(control->WaitForCompletion(), S_OK);  // at once once ended
}

TEST_F(ThreadControlTest, StopEndsTheWorkerAtItsCheckpointAndWaitsForIt) {
    Signal at_work;
    std::atomic<int> rounds{0};
    std::atomic<bool> saw_stop{false}, sent_after_stop{false};
    std::atomic<bool> stop_returned{false};
    const auto control = Launch(ComApartment::kMultiThreaded, [&](const AsyncToken& token) {
        while (token.Checkpoint()) {
            ++rounds;
            at_work.Set();
            Sleep(1);
        }
        saw_stop = token.StopRequested();
        // What a worker would send now must not reach anyone after Stop.
        sent_after_stop = stop_returned.load();
    });
    ASSERT_TRUE(at_work.WaitFor());
    EXPECT_EQ(control->Stop(), S_OK);
    stop_returned = true;
    EXPECT_FALSE(Running(control.Get()));
    EXPECT_TRUE(saw_stop);
    EXPECT_FALSE(sent_after_stop);
    EXPECT_GT(rounds.load(), 0);
    EXPECT_EQ(control->Stop(), S_OK);  // again: nothing left to stop
}

TEST_F(ThreadControlTest, PauseHoldsTheWorkerAtItsCheckpoint) {
    Signal at_work, paused_seen;
    std::atomic<int> rounds{0};
    const auto control = Launch(ComApartment::kMultiThreaded, [&](const AsyncToken& token) {
        while (token.Checkpoint()) {
            ++rounds;
            at_work.Set();
            Sleep(1);
        }
    });
    ASSERT_TRUE(at_work.WaitFor());
    EXPECT_EQ(control->Pause(), S_OK);
    // Once the worker is held, its count stays where it is.
    Sleep(50);
    const int held = rounds;
    Sleep(200);
    EXPECT_EQ(rounds.load(), held);
    EXPECT_TRUE(Running(control.Get()));
    EXPECT_EQ(control->Resume(), S_OK);
    while (rounds.load() == held)
        Sleep(1);
    // Stop also frees a paused worker.
    EXPECT_EQ(control->Pause(), S_OK);
    EXPECT_EQ(control->Stop(), S_OK);
    EXPECT_FALSE(Running(control.Get()));
}

TEST_F(ThreadControlTest, StopFromTheWorkerItselfDoesNotWaitForItself) {
    std::atomic<IThreadControl*> own{nullptr};
    Signal handed, finished;
    std::atomic<bool> next_checkpoint{true};
    const auto control = Launch(ComApartment::kSingleThreaded, [&](const AsyncToken& token) {
        handed.WaitFor();
        own.load()->Stop();               // what a client's callback may do
        own.load()->WaitForCompletion();  // nor does this hang
        next_checkpoint = token.Checkpoint();
        finished.Set();
    });
    own = control.Get();
    handed.Set();
    ASSERT_TRUE(finished.WaitFor());
    EXPECT_FALSE(next_checkpoint);
    EXPECT_EQ(control->WaitForCompletion(), S_OK);
}

TEST_F(ThreadControlTest, CapturesGoOnTheWorkerThread) {
    // The work's captures hold engine objects and the client's callback:
    // they are released by the worker, before it leaves its apartment.
    struct Capture {
        DWORD* released_on = nullptr;
        bool armed = false;  // only the copy the work holds records
        Capture(DWORD* slot, bool arm) : released_on(slot), armed(arm) {}
        Capture(const Capture& other) : released_on(other.released_on) {}
        Capture(Capture&& other) noexcept
            : released_on(other.released_on), armed(std::exchange(other.armed, false)) {}
        ~Capture() {
            if (armed)
                *released_on = GetCurrentThreadId();
        }
    };
    DWORD released_on = 0;
    DWORD worker = 0;
    const auto control = Launch(ComApartment::kMultiThreaded,
                                [capture = Capture(&released_on, true),
                                 &worker](const AsyncToken&) { worker = GetCurrentThreadId(); });
    EXPECT_EQ(control->WaitForCompletion(), S_OK);
    EXPECT_NE(worker, 0u);
    EXPECT_EQ(released_on, worker);
}

TEST_F(ThreadControlTest, AThreadOfTheClientsOwn) {
    Signal release;
    win::UniqueHandle thread(CreateThread(
        nullptr, 0,
        [](void* signal) -> DWORD {
            static_cast<Signal*>(signal)->WaitFor();
            return 0;
        },
        &release, 0, nullptr));
    ASSERT_TRUE(thread);
    com::ComPtr<IThreadControl> control;
    ASSERT_EQ(com::CreateEngineObject(CLSID_ThreadControl, control.Put()), S_OK);
    EXPECT_FALSE(Running(control.Get()));  // no thread yet
    ASSERT_EQ(control->put_hThread(HandleToLong(thread.get())), S_OK);
    thread.reset();  // the control keeps a handle of its own
    EXPECT_TRUE(Running(control.Get()));
    EXPECT_EQ(control->Stop(), S_OK);  // it cannot be asked: nothing happens
    EXPECT_TRUE(Running(control.Get()));
    release.Set();
    EXPECT_EQ(control->WaitForCompletion(), S_OK);
    EXPECT_FALSE(Running(control.Get()));
    EXPECT_EQ(control->put_hThread(0), S_OK);
    LONG handle = 5;
    EXPECT_EQ(control->get_hThread(&handle), S_OK);
    EXPECT_EQ(handle, 0);
}

TEST_F(ThreadControlTest, NoHandleLeftBehind) {
    const auto run = [] {
        com::ComPtr<IThreadControl> control;
        ASSERT_EQ(LaunchAsync(
                      ComApartment::kSingleThreaded, [](const AsyncToken&) {}, control.Put()),
                  LaunchResult::kStarted);
        control->WaitForCompletion();
    };
    run();  // the first thread sets up what every later one shares
    const DWORD before = olvex::testing::OpenHandleCount();
    ASSERT_GT(before, 0u);
    for (int i = 0; i < 50; ++i)
        run();
    // Without a control the launcher closes the handle itself.
    for (int i = 0; i < 50; ++i) {
        Signal done;
        EXPECT_EQ(
            LaunchAsync(
                ComApartment::kMultiThreaded, [&done](const AsyncToken&) { done.Set(); }, nullptr),
            LaunchResult::kNoControl);
        ASSERT_TRUE(done.WaitFor());
    }
    Sleep(100);  // the last threads finish ending
    const DWORD after = olvex::testing::OpenHandleCount();
    RecordProperty("handles_before", static_cast<int>(before));
    RecordProperty("handles_after", static_cast<int>(after));
    EXPECT_LE(after, before + 2) << "before " << before << ", after " << after;
}

}  // namespace
}  // namespace olvex
