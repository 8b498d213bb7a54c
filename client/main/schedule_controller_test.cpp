// The Schedule dialog's operations over the in-memory Task Scheduler, with
// the dialog's controls and messages recorded.
#include "client/main/schedule_controller.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "client/main/fake_scan_scheduler.h"

namespace olvex {
namespace {

constexpr char kInstall[] = "C:\\Program Files\\Kelvan Gorsewatch\\";

class RecordingView final : public ScheduleView {
  public:
    // What was shown and asked, as "message 253" or "ask 294 <text>".
    std::vector<std::string> events;
    std::deque<bool> answers;  // Yes/No for the questions, in order (none: Yes)

    TimeOfDay time{8, 0};
    bool quarantine = true;
    bool current_user = true;
    std::string account;
    std::string password;
    std::string logon = "alice";
    std::vector<std::string> entries;
    int selected = -1;
    std::vector<std::pair<int, bool>> enabled;

    void ShowMessage(int id, int) override { events.push_back("message " + std::to_string(id)); }
    void ShowMessageText(const std::string& text, int) override { events.push_back(text); }
    bool Ask(int id) override {
        events.push_back("ask " + std::to_string(id));
        return Answer();
    }
    bool AskText(const std::string& text) override {
        events.push_back("ask " + text);
        return Answer();
    }
    std::string Text(int id) override { return std::to_string(id) + " \"%s\""; }
    TimeOfDay ChosenTime() override { return time; }
    std::string FormatTime(const TimeOfDay& t) override {
        const int hour = t.hour % 12 == 0 ? 12 : t.hour % 12;
        char text[16];
        std::snprintf(text, sizeof(text), "%d:%02d %s", hour, t.minute, t.hour < 12 ? "AM" : "PM");
        return text;
    }
    bool QuarantineChosen() override { return quarantine; }
    bool CurrentUserChosen() override { return current_user; }
    std::string AccountText() override { return account; }
    std::string PasswordText() override { return password; }
    std::string LogonName() override { return logon; }
    LocalDate Today() override { return {2026, 12, 11}; }
    void SetTime(const TimeOfDay& t) override { time = t; }
    void SetQuarantine(bool q) override { quarantine = q; }
    void SetCurrentUser(bool c) override { current_user = c; }
    void SetAccountText(const std::string& a) override { account = a; }
    void ClearAccountAndPassword() override { account.clear(), password.clear(); }
    int SelectedEntry() override { return selected; }
    std::string EntryText(int index) override { return entries.at(index); }
    int EntryCount() override { return static_cast<int>(entries.size()); }
    void AppendEntry(const std::string& text) override { entries.push_back(text); }
    void DeleteEntry(int index) override {
        entries.erase(entries.begin() + index);
        selected = -1;
    }
    void SelectEntry(int index) override { selected = index; }
    void EnableControl(int id, bool enable) override { enabled.emplace_back(id, enable); }
    void FocusOk() override {}
    void Redraw() override {}

    std::optional<bool> LastEnabled(int id) const {
        for (auto it = enabled.rbegin(); it != enabled.rend(); ++it) {
            if (it->first == id)
                return it->second;
        }
        return std::nullopt;
    }

  private:
    bool Answer() {
        if (answers.empty())
            return true;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

class ScheduleControllerTest : public ::testing::Test {
  protected:
    // A job of the program at the time, as the dialog would have made it.
    void PlantJob(const std::string& description, int hour, int minute,
                  std::uint32_t flags = 0x2002) {
        FakeWorkItem item;
        item.application = "\"C:\\x\\Marvolt.exe\"";
        item.parameters = "/ignore";
        item.flags = flags;
        item.account = "alice";
        item.triggers.push_back(DailyTrigger({2026, 1, 1}, hour, minute));
        store.Put("QZv5Scan_" + description + ".job", item);
    }

    ScheduleController Controller(bool nt = true, std::string install = kInstall) {
        return ScheduleController(view, store.Factory(), std::move(install), nt);
    }

    FakeSchedulerStore store;
    RecordingView view;
};

TEST_F(ScheduleControllerTest, NewScanMakesTheJobAndListsIt) {
    auto controller = Controller();
    controller.SettingChanged();
    view.time = {20, 30};
    controller.ScheduleScan(true);
    EXPECT_EQ(view.events, std::vector<std::string>{"ask 249"});
    ASSERT_EQ(view.entries, std::vector<std::string>{"Daily as alice at 8 30 PM"});
    const FakeWorkItem* job = store.Find("QZv5Scan_Daily as alice at 8 30 PM.job");
    ASSERT_NE(job, nullptr);
    EXPECT_EQ(job->application, "\"C:\\Program Files\\Kelvan Gorsewatch\\Marvolt.exe\"");
    EXPECT_EQ(job->parameters, "/quarantine");
    EXPECT_EQ(job->working_directory, kInstall);
    EXPECT_EQ(job->flags, 0x2002u);
    EXPECT_EQ(job->account, "alice");
    EXPECT_FALSE(job->password);
    ASSERT_EQ(job->triggers.size(), 1u);
    EXPECT_EQ(job->triggers[0], DailyTrigger({2026, 12, 11}, 20, 30));
    EXPECT_FALSE(controller.dirty());
}

TEST_F(ScheduleControllerTest, ConflictsWithOtherJobs) {
    struct Case {
        const char* name;
        std::vector<std::pair<int, int>> existing;
        TimeOfDay wanted;
        std::deque<bool> answers;
        std::vector<std::string> events;
        bool created;
    };
    const Case cases[] = {
        {"same time refused", {{8, 0}}, {8, 0}, {}, {"321 \"J0\""}, false},
        {"over midnight, No",
         {{0, 5}},
         {23, 50},
         {false},
         {"ask 294 \"J0\"", "message 253"},
         false},
        {"over midnight, Yes", {{0, 5}}, {23, 50}, {true}, {"ask 294 \"J0\""}, true},
        {"20 minutes apart", {{8, 0}}, {8, 20}, {}, {}, true},
        {"two near ones",
         {{7, 50}, {8, 10}},
         {8, 0},
         {},
         {"ask 294 \"J0\"", "ask 294 \"J1\""},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        store = FakeSchedulerStore();
        view = RecordingView();
        for (std::size_t i = 0; i < c.existing.size(); ++i)
            PlantJob("J" + std::to_string(i), c.existing[i].first, c.existing[i].second);
        view.current_user = false;
        view.account = "bob";
        view.password = "pw";
        view.time = c.wanted;
        view.answers = c.answers;
        auto controller = Controller();
        controller.SettingChanged();
        controller.ScheduleScan(true);
        EXPECT_EQ(view.events, c.events);
        EXPECT_EQ(store.Names().size(), c.existing.size() + (c.created ? 1 : 0));
        EXPECT_FALSE(controller.dirty());
    }
}

TEST_F(ScheduleControllerTest, ListShowsOnlyThisProgramsLoadableJobs) {
    PlantJob("Daily as alice at 8 00 AM", 8, 0);
    store.Put("Other program.job", FakeWorkItem{});
    FakeWorkItem damaged;
    damaged.loadable = false;
    store.Put("QZv5Scan_bad.job", damaged);
    store.Put("qzv5scan_lower.job", FakeWorkItem{});
    auto controller = Controller();
    EXPECT_TRUE(controller.FillScanList());
    EXPECT_EQ(view.entries, std::vector<std::string>{"Daily as alice at 8 00 AM"});
}

TEST_F(ScheduleControllerTest, SchedulerFailuresShowTheirMessages) {
    struct Case {
        SchedulerCall call;
        int message;
        bool current_user;
    };
    const Case cases[] = {
        {SchedulerCall::kCreate, 246, false},
        {SchedulerCall::kEnum, 247, false},
        {SchedulerCall::kNewWorkItem, 255, false},
        {SchedulerCall::kSetApplicationName, 258, false},
        {SchedulerCall::kSetParameters, 259, false},
        {SchedulerCall::kSetFlags, 260, false},
        {SchedulerCall::kSetAccountInformation, 261, false},
        {SchedulerCall::kSetWorkingDirectory, 266, false},
        {SchedulerCall::kCreateTrigger, 262, false},
        {SchedulerCall::kSetTrigger, 263, false},
        {SchedulerCall::kQueryPersist, 264, false},
        {SchedulerCall::kSave, 265, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        store = FakeSchedulerStore();
        view = RecordingView();
        view.current_user = c.current_user;
        view.account = "bob";
        view.password = "pw";
        FaultInjector faults({c.call, 1, static_cast<SchedulerResult>(0x80070005)});
        ScheduleController controller(view, faults.Wrap(store.Factory()), kInstall, true);
        controller.ScheduleScan(true);
        EXPECT_EQ(view.events, std::vector<std::string>{"message " + std::to_string(c.message)});
        // No job is left behind, half made or refused on saving.
        EXPECT_TRUE(store.Names().empty());
        EXPECT_TRUE(view.entries.empty());
    }
}

TEST_F(ScheduleControllerTest, LoadingFailuresShowTheirMessagesAndEndTheEdit) {
    struct Case {
        SchedulerCall call;
        int message;
        std::uint32_t flags;
    };
    const Case cases[] = {
        {SchedulerCall::kCreate, 246, 0x2},
        {SchedulerCall::kActivate, 268, 0x2},
        {SchedulerCall::kGetTrigger, 272, 0x2},
        {SchedulerCall::kGetTriggerRecord, 273, 0x2},
        {SchedulerCall::kGetParameters, 274, 0x2},
        {SchedulerCall::kGetFlags, 275, 0x2},
        {SchedulerCall::kGetAccountInformation, 276, 0x2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        store = FakeSchedulerStore();
        view = RecordingView();
        PlantJob("J", 9, 15, c.flags);
        view.entries = {"J"};
        view.selected = 0;
        FaultInjector faults({c.call, 1, kSchedulerFail});
        ScheduleController controller(view, faults.Wrap(store.Factory()), kInstall, true);
        controller.LoadSelectedScan();
        EXPECT_EQ(view.events, std::vector<std::string>{"message " + std::to_string(c.message)});
        EXPECT_FALSE(controller.editing());
    }
}

TEST_F(ScheduleControllerTest, LoadingShowsTheJobsSettings) {
    PlantJob("J", 9, 15, 0x2);
    store.Put("QZv5Scan_J.job", [&] {
        FakeWorkItem item = *store.Find("QZv5Scan_J.job");
        item.account = "CORP\\bob";
        return item;
    }());
    view.entries = {"J"};
    auto controller = Controller();
    view.selected = 0;
    controller.OnScanListSelChange();
    EXPECT_TRUE(controller.editing());
    EXPECT_FALSE(controller.dirty());
    EXPECT_EQ(view.time.hour, 9);
    EXPECT_EQ(view.time.minute, 15);
    EXPECT_FALSE(view.quarantine);
    EXPECT_FALSE(view.current_user);
    EXPECT_EQ(view.account, "CORP\\bob");
    EXPECT_EQ(view.LastEnabled(kScheduleApplyButton), true);
    EXPECT_EQ(view.LastEnabled(kScheduleAccountEdit), true);
}

TEST_F(ScheduleControllerTest, WindowsNineXNeverAsksForAnAccount) {
    PlantJob("J", 9, 15, 0x2);
    view.entries = {"J"};
    view.selected = 0;
    // The account call would fail: it must not be made.
    FaultInjector faults({SchedulerCall::kGetAccountInformation, 1, kSchedulerFail});
    ScheduleController controller(view, faults.Wrap(store.Factory()), kInstall, false);
    controller.LoadSelectedScan();
    EXPECT_TRUE(view.events.empty());
    EXPECT_TRUE(controller.editing());
    // A new current-user scan: no question 249 and no account set.
    view.time = {14, 0};
    view.current_user = true;
    controller.ScheduleScan(true);
    const FakeWorkItem* job = store.Find("QZv5Scan_Daily as alice at 2 00 PM.job");
    ASSERT_NE(job, nullptr);
    EXPECT_TRUE(view.events.empty());
    EXPECT_EQ(job->account, "");
    EXPECT_EQ(job->flags, 0x2002u);
}

TEST_F(ScheduleControllerTest, DomainAccountAndPasswordAsTyped) {
    view.current_user = false;
    view.account = "CORP\\alice";
    view.password = " secret";
    view.time = {7, 5};
    auto controller = Controller();
    controller.ScheduleScan(true);
    EXPECT_EQ(view.entries, std::vector<std::string>{"Daily as CORP alice at 7 05 AM"});
    const FakeWorkItem* job = store.Find("QZv5Scan_Daily as CORP alice at 7 05 AM.job");
    ASSERT_NE(job, nullptr);
    EXPECT_EQ(job->account, "CORP\\alice");
    EXPECT_EQ(job->password, " secret");
    EXPECT_EQ(job->flags, 0x2u);
    // A blank password is refused.
    view.password = "  ";
    controller.ScheduleScan(true);
    EXPECT_EQ(view.events.back(), "message 270");
}

TEST_F(ScheduleControllerTest, TooLongAnApplicationPathIsRefused) {
    const std::string install = "C:\\" + std::string(102 - 2 - 11 - 3 + 1 - 1, 'f') + "\\";
    ASSERT_EQ(install.size() + 2 + 11, 103u);
    auto controller = Controller(true, install);
    view.current_user = false;
    view.account = "bob";
    view.password = "pw";
    controller.ScheduleScan(true);
    EXPECT_EQ(view.events, std::vector<std::string>{"message 312"});
    EXPECT_TRUE(store.Names().empty());
}

TEST_F(ScheduleControllerTest, DeleteRemovesTheJobAndTheEntry) {
    PlantJob("A", 8, 0);
    PlantJob("B", 9, 0);
    auto controller = Controller();
    controller.FillScanList();
    view.selected = 0;
    controller.DeleteSelectedScan();
    EXPECT_TRUE(view.events.empty());
    EXPECT_EQ(store.Names(), std::vector<std::string>{"QZv5Scan_B.job"});
    EXPECT_EQ(view.entries, std::vector<std::string>{"B"});
    // The deleted entry was the selected one: nothing is selected now, so
    // nothing is there to delete, edit or apply to.
    for (const int id : {kScheduleDeleteButton, kScheduleEditButton, kScheduleApplyButton})
        EXPECT_EQ(view.LastEnabled(id), false) << id;
    view.selected = 0;
    controller.DeleteSelectedScan();
    EXPECT_TRUE(store.Names().empty());
    for (const int id : {kScheduleDeleteButton, kScheduleEditButton, kScheduleApplyButton})
        EXPECT_EQ(view.LastEnabled(id), false) << id;
}

TEST_F(ScheduleControllerTest, AFailedDeletionKeepsTheEntry) {
    PlantJob("A", 8, 0);
    view.entries = {"A"};
    view.selected = 0;
    FaultInjector faults({SchedulerCall::kDelete, 1, static_cast<SchedulerResult>(0x80070020)});
    ScheduleController controller(view, faults.Wrap(store.Factory()), kInstall, true);
    controller.DeleteSelectedScan();
    EXPECT_EQ(view.events, std::vector<std::string>{"message 268"});
    EXPECT_EQ(view.entries, std::vector<std::string>{"A"});
    EXPECT_EQ(store.Names().size(), 1u);
}

TEST_F(ScheduleControllerTest, EditWithTheSameNameChangesTheJobInPlace) {
    view.time = {8, 0};
    auto controller = Controller();
    controller.ScheduleScan(true);
    view.selected = 0;
    controller.OnScanListSelChange();
    view.quarantine = false;
    controller.SettingChanged();
    view.events.clear();
    controller.ApplyEdits();
    EXPECT_EQ(view.events, std::vector<std::string>{"ask 249"});
    EXPECT_EQ(view.entries, std::vector<std::string>{"Daily as alice at 8 00 AM"});
    ASSERT_EQ(store.Names().size(), 1u);
    const FakeWorkItem* job = store.Find("QZv5Scan_Daily as alice at 8 00 AM.job");
    ASSERT_NE(job, nullptr);
    EXPECT_EQ(job->parameters, "/ignore");
    EXPECT_EQ(job->triggers.size(), 1u);
    EXPECT_FALSE(controller.editing());
    EXPECT_FALSE(controller.dirty());
}

TEST_F(ScheduleControllerTest, EditWithANewTimeMakesTheNewJobBeforeTheOldGoes) {
    PlantJob("Daily as alice at 8 00 AM", 8, 0);
    auto controller = Controller();
    controller.FillScanList();
    view.selected = 0;
    controller.OnScanListSelChange();
    view.time = {8, 5};  // near only to the job being edited: no question
    controller.SettingChanged();
    controller.ApplyEdits();
    EXPECT_EQ(view.events, std::vector<std::string>{"ask 249"});
    EXPECT_EQ(store.Names(), std::vector<std::string>{"QZv5Scan_Daily as alice at 8 05 AM.job"});
    EXPECT_EQ(view.entries, std::vector<std::string>{"Daily as alice at 8 05 AM"});
    // The renamed job's entry is new and not selected: Delete and Apply
    // Edits wait for a selection; Schedule New Scan is usable again.
    EXPECT_EQ(view.selected, -1);
    for (const int id : {kScheduleDeleteButton, kScheduleEditButton, kScheduleApplyButton})
        EXPECT_EQ(view.LastEnabled(id), false) << id;
    EXPECT_EQ(view.LastEnabled(kScheduleNewButton), true);
    // Selecting it makes them usable again.
    view.selected = 0;
    controller.OnScanListSelChange();
    EXPECT_EQ(view.LastEnabled(kScheduleDeleteButton), true);
    EXPECT_EQ(view.LastEnabled(kScheduleApplyButton), true);

    // The new job cannot be saved: the old one stays.
    view.selected = 0;
    controller.OnScanListSelChange();
    view.time = {10, 0};
    view.events.clear();
    FaultInjector faults({SchedulerCall::kSave, 1, kSchedulerFail});
    ScheduleController failing(view, faults.Wrap(store.Factory()), kInstall, true);
    failing.OnScanListSelChange();
    view.time = {10, 0};
    failing.ApplyEdits();
    EXPECT_EQ(view.events.back(), "message 265");
    EXPECT_EQ(store.Names(), std::vector<std::string>{"QZv5Scan_Daily as alice at 8 05 AM.job"});
    EXPECT_EQ(view.entries, std::vector<std::string>{"Daily as alice at 8 05 AM"});
}

TEST_F(ScheduleControllerTest, UnappliedEditStaysWithItsJobWhenTheUserSaysNo) {
    PlantJob("A", 8, 0);
    PlantJob("B", 9, 0);
    auto controller = Controller();
    controller.FillScanList();
    view.selected = 0;
    controller.OnScanListSelChange();
    view.time = {12, 0};
    controller.SettingChanged();
    view.selected = 1;
    view.answers = {false};
    controller.OnScanListSelChange();
    EXPECT_EQ(view.events, std::vector<std::string>{"ask 271"});
    EXPECT_EQ(view.selected, 0);
    EXPECT_TRUE(controller.editing());
    EXPECT_TRUE(controller.dirty());
    EXPECT_EQ(view.time.hour, 12);  // nothing loaded
    // Leaving asks 271 as well; Yes to the next selection loads it.
    view.answers = {false};
    EXPECT_FALSE(controller.MayClose());
    view.selected = 1;
    controller.OnScanListSelChange();
    EXPECT_EQ(view.time.hour, 9);
    EXPECT_FALSE(controller.dirty());
}

TEST_F(ScheduleControllerTest, LeavingAsksOnlyWithUnsavedChanges) {
    auto controller = Controller();
    EXPECT_TRUE(controller.MayClose());
    controller.SettingChanged();
    view.answers = {false};
    EXPECT_FALSE(controller.MayClose());
    EXPECT_EQ(view.events, std::vector<std::string>{"ask 269"});
}

}  // namespace
}  // namespace olvex

namespace olvex {
namespace {

TEST(SchedulerFaultTest, ParsesCallOccurrenceAndResult) {
    const auto fault = ParseSchedulerFault("SetParameters:2:0x80070005");
    ASSERT_TRUE(fault);
    EXPECT_EQ(fault->call, SchedulerCall::kSetParameters);
    EXPECT_EQ(fault->occurrence, 2);
    EXPECT_EQ(fault->result, static_cast<SchedulerResult>(0x80070005));
    for (const char* bad : {"", "Save", "Save:1", "Nothing:1:1", "Save:0:1", "Save:x:1",
                            "Save:1:", "Save:1:0x1FFFFFFFF"})
        EXPECT_FALSE(ParseSchedulerFault(bad)) << bad;
}

TEST(SchedulerFaultTest, FailsOnlyTheChosenCallOfItsKind) {
    FakeSchedulerStore store;
    FaultInjector faults({SchedulerCall::kEnum, 2, kSchedulerFail});
    const auto factory = faults.Wrap(store.Factory());
    std::vector<std::string> names;
    for (const bool fails : {false, true, false}) {
        std::unique_ptr<ScanScheduler> scheduler;
        ASSERT_EQ(factory(scheduler), kSchedulerOk);
        EXPECT_EQ(Succeeded(scheduler->Enum(names)), !fails);
    }
}

}  // namespace
}  // namespace olvex
