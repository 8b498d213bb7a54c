// The swap sequence over a fake machine that can fail every step, or end the
// stub at any step: which engine ends up registered, what the older and
// newer files hold, how long it waited, and what is left for the next start.
#include "client/update/swap_sequence.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <deque>
#include <functional>
#include <map>
#include <set>

namespace olvex::swap {
namespace {

const std::string kOlder = "C:\\Program Files\\Kelvan Gorsewatch\\olvex.dll";
const std::string kNewer = "C:\\Documents and Settings\\me\\Temp\\_core_\\olvex.dll.7.6.qzu";
const std::string kStaged = kOlder + ".new";
const std::string kPartial = kOlder + ".new.part";
const std::string kStub = "C:\\Program Files\\Kelvan Gorsewatch\\core\\Swavel.exe";

// Long and short names of the folders and files above.
const std::pair<std::string, std::string> kShortNames[] = {
    {"Program Files", "PROGRA~1"},          {"Kelvan Gorsewatch", "KELVAN~1"},
    {"Documents and Settings", "DOCUME~1"}, {"olvex.dll.7.6.qzu", "OLVEX~1.QZU"},
    {"olvex.dll.new.part", "OLVEX~1.PAR"},  {"olvex.dll.new", "OLVEX~1.NEW"},
};

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

constexpr int kForever = INT_MAX;

// Files hold labels: "old" and "new" are engines with both exports, "plain"
// is a DLL without them, "junk" is no DLL at all. One registration is in
// place at a time: the label of the engine that made it.
class FakeMachine final : public SwapOperations {
  public:
    FakeMachine() {
        files[kOlder] = "old";
        files[kNewer] = "new";
        registered = "old";
    }

    std::map<std::string, std::string> files;
    std::string registered;
    int older_busy_opens = 0;                   // tries that find the older DLL in use
    std::deque<CopyResult> renames_over_older;  // in turn, then kCopied
    bool staging_fails = false;
    std::set<std::string> undeletable;
    bool short_names = true;
    bool run_once_fails = false;
    std::int32_t register_hresult = 0;
    std::int32_t unregister_hresult = 0;
    bool free_fails = false;

    std::vector<std::string> printed;
    std::vector<std::string> debug;
    std::vector<std::string> calls;  // "unregister old", "register new", ...
    int sleeps = 0;
    int opens = 0;
    std::optional<std::string> run_once;

    // Files are known by their long paths.
    std::string Holds(const std::string& path) const {
        const auto found = files.find(LongForm(path));
        return found == files.end() ? "" : found->second;
    }

    void Print(std::string_view line) override { printed.emplace_back(line); }
    void Debug(std::string_view text) override { debug.emplace_back(text); }
    void Sleep(unsigned milliseconds) override {
        EXPECT_EQ(milliseconds, kRetryDelayMs);
        ++sleeps;
    }
    OpenResult OpenForWriting(const std::string& path) override {
        EXPECT_EQ(path, kOlder);
        ++opens;
        if (!files.count(path))
            return OpenResult::kMissing;
        if (older_busy_opens > 0) {
            if (older_busy_opens != kForever)
                --older_busy_opens;
            return OpenResult::kInUse;
        }
        return OpenResult::kOpened;
    }
    NewerCheck CheckNewer(const std::string& path) override {
        const std::string label = Holds(path);
        if (label.empty())
            return NewerCheck::kUnreadable;
        if (label == "junk")
            return NewerCheck::kNotLoadable;
        return label == "plain" ? NewerCheck::kNoRegisterExport : NewerCheck::kReady;
    }
    ExportCall CallExport(const std::string& path, const char* name) override {
        const std::string label = Holds(path);
        if (label.empty() || label == "junk")
            return {CallResult::kNotLoaded, 0, true};
        if (label == "plain")
            return {CallResult::kNoExport, 0, true};
        const bool register_call = std::string(name) == "DllRegisterServer";
        EXPECT_TRUE(register_call || std::string(name) == "DllUnregisterServer") << name;
        calls.push_back((register_call ? "register " : "unregister ") + label);
        if (register_call && register_hresult >= 0)
            registered = label;
        if (!register_call && unregister_hresult >= 0 && registered == label)
            registered.clear();
        return {CallResult::kCalled, register_call ? register_hresult : unregister_hresult,
                !free_fails};
    }
    CopyResult Copy(const std::string& from, const std::string& to) override {
        calls.push_back("copy to " + to);
        if ((to == kPartial && staging_fails) || Holds(from).empty())
            return CopyResult::kFailed;
        files[LongForm(to)] = Holds(from);
        return CopyResult::kCopied;
    }
    CopyResult Rename(const std::string& from, const std::string& to) override {
        calls.push_back("rename to " + to);
        if (to == kOlder && !renames_over_older.empty()) {
            const CopyResult result = renames_over_older.front();
            if (renames_over_older.size() > 1 || result == CopyResult::kCopied)
                renames_over_older.pop_front();
            if (result != CopyResult::kCopied)
                return result;
        }
        if (Holds(from).empty())
            return CopyResult::kFailed;
        files[LongForm(to)] = Holds(from);
        files.erase(LongForm(from));
        return CopyResult::kCopied;
    }
    bool Delete(const std::string& path) override {
        if (undeletable.count(path) || Holds(path).empty())
            return false;
        files.erase(LongForm(path));
        return true;
    }
    bool SameFile(const std::string& a, const std::string& b) override {
        return Lower(LongForm(a)) == Lower(LongForm(b));
    }
    std::string OwnPath() override { return kStub; }
    std::optional<std::string> ShortPath(const std::string& path) override {
        if (!short_names || (path != kStub && Holds(path).empty()))
            return std::nullopt;
        std::string result = path;
        for (const auto& [long_name, short_name] : kShortNames)
            result = ReplaceAll(result, long_name, short_name);
        return result;
    }
    bool WriteRunOnce(const std::string& command) override {
        if (run_once_fails)
            return false;
        run_once = command;
        return true;
    }
    void ClearRunOnce() override { run_once.reset(); }

  private:
    static std::string LongForm(std::string path) {
        for (const auto& [long_name, short_name] : kShortNames)
            path = ReplaceAll(path, short_name, long_name);
        return path;
    }
};

int Swap(FakeMachine& machine, const std::string& newer = kNewer) {
    return RunSwapStub({kOlder, newer}, machine);
}

struct SwapCase {
    const char* name;
    std::function<void(FakeMachine&)> arrange;
    int exit_code;
    std::string older_after;  // label; "" for none
    bool newer_left;
    std::string registered_after;
    std::vector<std::string> calls;
    int sleeps;
};

const std::string kCopy = "copy to " + kPartial;
const std::string kStage = "rename to " + kStaged;
const std::string kRename = "rename to " + kOlder;

TEST(SwapSequence, EachStepFailing) {
    const SwapCase cases[] = {
        {"a free older DLL is swapped at once",
         [](FakeMachine&) {},
         kExitDone,
         "new",
         false,
         "new",
         {kCopy, kStage, "unregister old", kRename, "register new"},
         0},
        {"an older DLL in use for three tries is waited for",
         [](FakeMachine& m) { m.older_busy_opens = 3; },
         kExitDone,
         "new",
         false,
         "new",
         {kCopy, kStage, "unregister old", kRename, "register new"},
         3},
        {"an older DLL in use for 60 tries is swapped on the last one",
         [](FakeMachine& m) { m.older_busy_opens = 60; },
         kExitDone,
         "new",
         false,
         "new",
         {kCopy, kStage, "unregister old", kRename, "register new"},
         60},
        {"an older DLL in use for a minute is left for the next start",
         [](FakeMachine& m) { m.older_busy_opens = kForever; },
         kExitStillInUse,
         "old",
         false,
         "old",
         {kCopy, kStage},
         60},
        {"a missing older DLL is not waited for and not unregistered",
         [](FakeMachine& m) {
             m.files.erase(kOlder);
             m.registered.clear();
         },
         kExitDone,
         "new",
         false,
         "new",
         {kCopy, kStage, kRename, "register new"},
         0},
        {"an older DLL that cannot be loaded is replaced",
         [](FakeMachine& m) {
             m.files[kOlder] = "junk";
             m.registered.clear();
         },
         kExitDone,
         "new",
         false,
         "new",
         {kCopy, kStage, kRename, "register new"},
         0},
        {"an older DLL without the exports is left alone",
         [](FakeMachine& m) {
             m.files[kOlder] = "plain";
             m.registered.clear();
         },
         kExitFailed,
         "plain",
         false,
         "",
         {kCopy, kStage},
         0},
        {"a missing newer DLL fails before anything is touched",
         [](FakeMachine& m) { m.files.erase(kNewer); },
         kExitFailed,
         "old",
         false,
         "old",
         {},
         0},
        {"a newer DLL without the exports fails before anything is touched",
         [](FakeMachine& m) { m.files[kNewer] = "plain"; },
         kExitFailed,
         "old",
         true,
         "old",
         {},
         0},
        {"a newer file that is no DLL fails before anything is touched",
         [](FakeMachine& m) { m.files[kNewer] = "junk"; },
         kExitFailed,
         "old",
         true,
         "old",
         {},
         0},
        {"a copy beside that fails touches nothing",
         [](FakeMachine& m) { m.staging_fails = true; },
         kExitFailed,
         "old",
         true,
         "old",
         {kCopy},
         0},
        {"a failed rename registers the older DLL again",
         [](FakeMachine& m) { m.renames_over_older = {CopyResult::kFailed}; },
         kExitFailed,
         "old",
         false,
         "old",
         {kCopy, kStage, "unregister old", kRename, "register old"},
         0},
        {"a rename that meets the older DLL in use again goes back to waiting",
         [](FakeMachine& m) {
             m.renames_over_older = {CopyResult::kInUse, CopyResult::kInUse, CopyResult::kCopied};
         },
         kExitDone,
         "new",
         false,
         "new",
         {kCopy, kStage, "unregister old", kRename, "register old", "unregister old", kRename,
          "register old", "unregister old", kRename, "register new"},
         2},
        {"renames that keep meeting it use up the same tries",
         [](FakeMachine& m) {
             m.older_busy_opens = 58;
             m.renames_over_older = {CopyResult::kInUse};
         },
         kExitStillInUse,
         "old",
         false,
         "old",
         {kCopy, kStage, "unregister old", kRename, "register old", "unregister old", kRename,
          "register old", "unregister old", kRename, "register old"},
         60},
        {"a newer file that cannot be deleted still ends in success",
         [](FakeMachine& m) { m.undeletable.insert(kNewer); },
         kExitDone,
         "new",
         true,
         "new",
         {kCopy, kStage, "unregister old", kRename, "register new"},
         0},
        {"failing exports and FreeLibrary calls are only noted",
         [](FakeMachine& m) {
             m.unregister_hresult = static_cast<std::int32_t>(0x80004005u);
             m.register_hresult = static_cast<std::int32_t>(0x8000FFFFu);
             m.free_fails = true;
         },
         kExitDone,
         "new",
         false,
         "old",
         {kCopy, kStage, "unregister old", kRename, "register new"},
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeMachine machine;
        c.arrange(machine);
        EXPECT_EQ(Swap(machine), c.exit_code);
        EXPECT_EQ(machine.Holds(kOlder), c.older_after);
        EXPECT_EQ(machine.files.count(kNewer) == 1, c.newer_left);
        EXPECT_EQ(machine.registered, c.registered_after);
        EXPECT_EQ(machine.calls, c.calls);
        EXPECT_EQ(machine.sleeps, c.sleeps);
        EXPECT_LE(machine.opens, kOpenAttempts);
        // Only a swap left for the next start leaves its command.
        EXPECT_EQ(machine.run_once.has_value(), c.exit_code == kExitStillInUse);
        EXPECT_EQ(machine.Holds(kPartial), "");
    }
}

// A stub that ends at any step (killed, a power cut) is run again from its
// RunOnce command, as the next client start does, and finishes: the newer
// engine in place and registered, nothing left behind.
TEST(SwapSequence, AStubCutShortIsFinishedByTheCommandItLeft) {
    // Each step the stub can end after: a call number of the first run.
    for (std::size_t stop_after = 0; stop_after < 5; ++stop_after) {
        SCOPED_TRACE("ended after call " + std::to_string(stop_after));
        FakeMachine machine;
        // The first run, up to the end: its calls beyond stop_after undone by
        // replaying only that many on a fresh machine.
        FakeMachine probe;
        Swap(probe);
        ASSERT_EQ(probe.calls.size(), 5u);
        // Replays the first stop_after calls (what a kill leaves).
        machine.run_once = RunOnceCommand(machine, kOlder, kNewer);
        for (std::size_t i = 0; i < stop_after; ++i) {
            const std::string& call = probe.calls[i];
            if (call == kCopy) {
                machine.files[kPartial] = "new";
            } else if (call == kStage) {
                machine.files[kStaged] = "new";
                machine.files.erase(kPartial);
                machine.files.erase(kNewer);
                machine.run_once = RunOnceCommand(machine, kOlder, kStaged);
            } else if (call == "unregister old") {
                machine.registered.clear();
            } else if (call == kRename) {
                machine.files[kOlder] = "new";
                machine.files.erase(kStaged);
            }
        }
        if (stop_after == 1) {
            // Half-way a copy, the partial file may hold anything.
            machine.files[kPartial] = "junk";
        }
        // The command left is run again.
        ASSERT_TRUE(machine.run_once);
        const std::string command = *machine.run_once;
        const auto first_quote = command.find('"');
        const auto second_quote = command.find('"', command.find('"', first_quote + 1) + 1);
        const std::string newer =
            command.substr(second_quote + 1, command.size() - second_quote - 2);
        machine.calls.clear();
        EXPECT_EQ(RunSwapStub({kOlder, newer}, machine), kExitDone) << command;
        EXPECT_EQ(machine.Holds(kOlder), "new");
        EXPECT_EQ(machine.registered, "new");
        EXPECT_FALSE(machine.run_once);
        EXPECT_EQ(machine.Holds(kStaged), "");
        EXPECT_EQ(machine.Holds(kNewer), "");
    }
}

TEST(SwapSequence, UsageAndPaths) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{}, std::vector<std::string>{kOlder}}) {
        FakeMachine machine;
        EXPECT_EQ(RunSwapStub(arguments, machine), kExitDone);
        EXPECT_EQ(machine.printed, std::vector<std::string>{std::string(kUsageLine)});
        EXPECT_TRUE(machine.calls.empty());
        EXPECT_EQ(machine.opens, 0);
        EXPECT_EQ(machine.Holds(kOlder), "old");
    }
    FakeMachine machine;
    EXPECT_EQ(RunSwapStub({kOlder, kNewer, "ignored"}, machine), kExitDone);
    EXPECT_EQ(machine.printed, (std::vector<std::string>{kOlder, kNewer}));
    EXPECT_EQ(machine.Holds(kOlder), "new");
}

TEST(SwapSequence, NextStartCommand) {
    const std::string staged_short = "C:\\PROGRA~1\\KELVAN~1\\OLVEX~1.NEW";
    struct {
        const char* name;
        std::function<void(FakeMachine&)> arrange;
        std::string newer;
        std::string command;
        bool staged;
    } cases[] = {
        {"short paths of the stub, the older DLL and the staged copy", [](FakeMachine&) {}, kNewer,
         "C:\\PROGRA~1\\KELVAN~1\\core\\Swavel.exe \"C:\\PROGRA~1\\KELVAN~1\\olvex.dll\" \"" +
             staged_short + "\"",
         true},
        {"quoted long paths without short ones", [](FakeMachine& m) { m.short_names = false; },
         kNewer, "\"" + kStub + "\" \"" + kOlder + "\" \"" + kStaged + "\"", true},
        {"a run from the command names its staged copy again",
         [&](FakeMachine& m) {
             m.files[kStaged] = "new";
             m.files.erase(kNewer);
         },
         staged_short,
         "C:\\PROGRA~1\\KELVAN~1\\core\\Swavel.exe \"C:\\PROGRA~1\\KELVAN~1\\olvex.dll\" \"" +
             staged_short + "\"",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeMachine machine;
        machine.older_busy_opens = kForever;
        c.arrange(machine);
        EXPECT_EQ(Swap(machine, c.newer), kExitStillInUse);
        EXPECT_EQ(machine.run_once, c.command);
        EXPECT_EQ(machine.Holds(kOlder), "old");
        EXPECT_EQ(machine.registered, "old");
        EXPECT_EQ(machine.opens, kOpenAttempts);
        EXPECT_EQ(machine.Holds(kStaged), c.staged ? "new" : "");
        // The download goes once its copy is staged.
        if (c.newer == kNewer) {
            EXPECT_EQ(machine.files.count(kNewer) == 0, c.staged);
        }
    }

    // A value that cannot be written still ends with -1.
    FakeMachine machine;
    machine.older_busy_opens = kForever;
    machine.run_once_fails = true;
    EXPECT_EQ(Swap(machine), kExitStillInUse);
    EXPECT_FALSE(machine.run_once);
    EXPECT_NE(
        std::find(machine.debug.begin(), machine.debug.end(), "RunOnce value could not be written"),
        machine.debug.end());
}

TEST(SwapSequence, StepsShowInTheDebuggerOutput) {
    FakeMachine machine;
    machine.undeletable.insert(kNewer);
    EXPECT_EQ(Swap(machine), kExitDone);
    EXPECT_EQ(machine.debug, (std::vector<std::string>{"1", "DeleteFile failed on temp olvex.dll",
                                                       "4", "2", "3", "5"}));
    FakeMachine locked;
    locked.older_busy_opens = kForever;
    EXPECT_EQ(Swap(locked), kExitStillInUse);
    EXPECT_EQ(locked.debug, (std::vector<std::string>{"1", "4", "6"}));
}

}  // namespace
}  // namespace olvex::swap
