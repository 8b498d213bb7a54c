// The update utility's close sequence over fake windows that go, refuse,
// hang or stay, and what it starts again afterwards.
#include "client/update/update_utility.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace olvex::update_utility {
namespace {

constexpr const char* kMain = "Kelvan Gorsewatch by Brackwith";
constexpr const char* kProtection = "Kelvan Gorsewatch -- Active Protection";
constexpr const char* kScanner = "Kelvan Gorsewatch -- Command Line Scanner";
constexpr const char* kUpdater = "Kelvan Gorsewatch -- Updates";

struct FakeWindow {
    int closes_to_refuse = 0;  // -1: every one
    bool hangs = false;        // answers no WM_CLOSE
    int closes_received = 0;
};

// Records every call in order: "find T", "close T", "sleep N", "wait T N".
class FakeWindows : public ProgramWindows {
  public:
    void Open(const std::string& title, FakeWindow window = {}) {
        windows_[title] = window;
        ids_[next_id_] = title;
        by_title_[title] = next_id_++;
    }
    const FakeWindow& window(const std::string& title) { return windows_.at(title); }
    bool open(const std::string& title) const { return by_title_.count(title) != 0; }

    WindowId Find(const std::string& title) override {
        calls.push_back("find " + title);
        const auto found = by_title_.find(title);
        return found == by_title_.end() ? 0 : found->second;
    }
    bool SendClose(WindowId id) override {
        const std::string title = ids_.at(id);
        calls.push_back("close " + title);
        FakeWindow& window = windows_.at(title);
        ++window.closes_received;
        if (window.hangs)
            return false;
        if (window.closes_to_refuse < 0)
            return true;
        if (window.closes_to_refuse > 0) {
            --window.closes_to_refuse;
            return true;
        }
        by_title_.erase(title);
        return true;
    }
    void WaitForProgramEnd(WindowId id, unsigned timeout_ms) override {
        calls.push_back("wait " + ids_.at(id) + " " + std::to_string(timeout_ms));
    }
    void Sleep(unsigned milliseconds) override {
        calls.push_back("sleep " + std::to_string(milliseconds));
        slept_ms += milliseconds;
    }

    std::vector<std::string> calls;
    unsigned long slept_ms = 0;

  private:
    std::map<std::string, FakeWindow> windows_;
    std::map<WindowId, std::string> ids_;
    std::map<std::string, WindowId> by_title_;
    WindowId next_id_ = 1;
};

std::vector<std::string> CallsOf(const std::vector<std::string>& calls, const std::string& kind) {
    std::vector<std::string> picked;
    for (const auto& call : calls) {
        if (call.rfind(kind, 0) == 0)
            picked.push_back(call);
    }
    return picked;
}

TEST(UpdateUtilityCommandLine, OnlyAFlagBeginningWithInstallUpdateCounts) {
    const struct {
        std::vector<std::string> arguments;
        bool installupdate;
    } cases[] = {
        {{}, false},
        {{"/installupdate"}, true},
        {{"-InstallUpdate"}, true},
        {{"/INSTALLUPDATEnow"}, true},
        {{"installupdate"}, false},  // not a flag: a file name for the framework
        {{"/install"}, false},
        {{"/quiet", "/installupdate"}, true},
        {{"/"}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseCommandLine(c.arguments).installupdate, c.installupdate)
            << (c.arguments.empty() ? "(none)" : c.arguments.back());
    }
}

TEST(UpdateUtilityClose, NothingRunningClosesNothingAndWaitsForNothing) {
    FakeWindows windows;
    const CloseOutcome outcome = ClosePrograms(windows);
    EXPECT_EQ(windows.calls,
              (std::vector<std::string>{
                  "find " + std::string(kMain), "find " + std::string(kProtection),
                  "find " + std::string(kScanner), "find " + std::string(kUpdater)}));
    EXPECT_EQ(outcome.was_running, (std::array<bool, 4>{}));
    EXPECT_TRUE(ProgramsToRestart(outcome, {}).empty());
}

TEST(UpdateUtilityClose, ClosesInTheTablesOrderAndWaitsForEachProgramToEnd) {
    FakeWindows windows;
    for (const char* title : {kUpdater, kScanner, kProtection, kMain})
        windows.Open(title);
    windows.Open("Kelvan Gorsewatch Updates");  // the utility's own status window
    const CloseOutcome outcome = ClosePrograms(windows);
    EXPECT_EQ(CallsOf(windows.calls, "close"),
              (std::vector<std::string>{
                  "close " + std::string(kMain), "close " + std::string(kProtection),
                  "close " + std::string(kScanner), "close " + std::string(kUpdater)}));
    EXPECT_EQ(CallsOf(windows.calls, "wait"),
              (std::vector<std::string>{"wait " + std::string(kMain) + " 10000",
                                        "wait " + std::string(kProtection) + " 10000",
                                        "wait " + std::string(kScanner) + " 10000",
                                        "wait " + std::string(kUpdater) + " 10000"}));
    // Each close is followed by the 200 ms spacing, the wait by the next find.
    const std::vector<std::string> main_calls(windows.calls.begin(), windows.calls.begin() + 5);
    EXPECT_EQ(main_calls,
              (std::vector<std::string>{"find " + std::string(kMain), "close " + std::string(kMain),
                                        "sleep 200", "find " + std::string(kMain),
                                        "wait " + std::string(kMain) + " 10000"}));
    EXPECT_EQ(outcome.was_running, (std::array<bool, 4>{true, true, true, true}));
    EXPECT_EQ(outcome.left_running, (std::array<bool, 4>{}));
    EXPECT_TRUE(windows.open("Kelvan Gorsewatch Updates"));
    // The scanner is never started again; the others in their order.
    EXPECT_EQ(ProgramsToRestart(outcome, {}),
              (std::vector<std::string>{"Wakenor.exe", "Pellory.exe", "Gorsewatch5.exe"}));
    EXPECT_TRUE(ProgramsToRestart(outcome, {.installupdate = true}).empty());
}

TEST(UpdateUtilityClose, AProgramRefusingSomeClosesIsAskedAgainWithinItsAttempts) {
    FakeWindows windows;
    windows.Open(kProtection, {.closes_to_refuse = 3});
    windows.Open(kScanner, {.closes_to_refuse = 49});
    const CloseOutcome outcome = ClosePrograms(windows);
    EXPECT_EQ(windows.window(kProtection).closes_received, 4);
    EXPECT_FALSE(windows.open(kProtection));
    // Its 50th attempt is the one that works: waited for, not left running.
    EXPECT_EQ(windows.window(kScanner).closes_received, 50);
    EXPECT_FALSE(windows.open(kScanner));
    EXPECT_EQ(CallsOf(windows.calls, "wait").size(), 2u);
    EXPECT_EQ(outcome.left_running, (std::array<bool, 4>{}));
    EXPECT_EQ(ProgramsToRestart(outcome, {}), (std::vector<std::string>{"Wakenor.exe"}));
}

TEST(UpdateUtilityClose, ProgramsThatStayAreLeftRunningAfterTheirAttempts) {
    const struct {
        const char* title;
        Program program;
        int attempts;
    } cases[] = {
        {kMain, Program::kMain, 50},
        {kProtection, Program::kProtection, 20},
        {kScanner, Program::kScanner, 50},
        {kUpdater, Program::kUpdater, 25},
    };
    for (const auto& c : cases) {
        for (const bool hangs : {false, true}) {
            FakeWindows windows;
            windows.Open(c.title, {.closes_to_refuse = -1, .hangs = hangs});
            const CloseOutcome outcome = ClosePrograms(windows);
            EXPECT_EQ(windows.window(c.title).closes_received, c.attempts) << c.title;
            EXPECT_EQ(windows.slept_ms, 200ul * c.attempts) << c.title;
            EXPECT_TRUE(CallsOf(windows.calls, "wait").empty()) << c.title;
            const auto index = static_cast<std::size_t>(c.program);
            EXPECT_TRUE(outcome.was_running[index]) << c.title;
            EXPECT_TRUE(outcome.left_running[index]) << c.title;
        }
    }
}

TEST(UpdateUtilityClose, AHungProgramDoesNotKeepTheOthersFromClosing) {
    FakeWindows windows;
    windows.Open(kMain, {.hangs = true});
    windows.Open(kUpdater);
    const CloseOutcome outcome = ClosePrograms(windows);
    EXPECT_FALSE(windows.open(kUpdater));
    EXPECT_TRUE(outcome.left_running[0]);
    // Both were running: both start again, the main program after the updater.
    EXPECT_EQ(ProgramsToRestart(outcome, {}),
              (std::vector<std::string>{"Pellory.exe", "Gorsewatch5.exe"}));
}

}  // namespace
}  // namespace olvex::update_utility
