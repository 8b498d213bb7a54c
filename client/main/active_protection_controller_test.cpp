// The Active Protection Settings dialog's logic with a recorded dialog and a
// simulated background protection.
#include "client/main/active_protection_controller.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace olvex {
namespace {

class RecordingView final : public ActiveProtectionView {
  public:
    std::map<int, bool> boxes;
    std::map<int, bool> enabled;
    int status = 0;
    int caption = 0;
    std::vector<std::string> events;
    bool answer = true;
    std::optional<int> closed;
    ActiveProtectionSettings file{0, 0, 0, 1};
    std::optional<bool> run_entry;
    // Wakenor: whether its mutex and window exist, how many looks its
    // window and mutex stay after WM_CLOSE (-1: never go).
    bool runs = false;
    int window_lingers = 0;
    int mutex_lingers = 0;
    bool close_posted = false;

    bool BoxChecked(int id) override { return boxes[id]; }
    void SetBox(int id, bool checked) override { boxes[id] = checked; }
    void SetStatus(int id) override { status = id; }
    void SetButtonCaption(int id) override { caption = id; }
    void EnableControl(int id, bool enable) override { enabled[id] = enable; }
    bool Ask(int id) override {
        events.push_back("ask " + std::to_string(id));
        return answer;
    }
    void ShowMessage(int id, int) override { events.push_back("message " + std::to_string(id)); }
    void Close(int result) override { closed = result; }
    void ShowWaitCursor(bool) override {}
    void LoadSettings(ActiveProtectionSettings& settings) override { settings = file; }
    void SaveSettings(const ActiveProtectionSettings& settings) override {
        file = settings;
        events.push_back("save");
    }
    void SetRunEntry(bool on_boot) override { run_entry = on_boot; }
    bool ProtectionRuns() override {
        if (runs && close_posted && mutex_lingers >= 0 && mutex_lingers-- == 0)
            runs = false;
        return runs;
    }
    bool ProtectionWindowExists() override {
        if (!runs)
            return false;
        if (close_posted && window_lingers >= 0 && window_lingers-- == 0) {
            if (mutex_lingers == 0)
                runs = false;
            return false;
        }
        return true;
    }
    void PostCloseToProtection() override {
        close_posted = true;
        events.push_back("close");
    }
    void PokeProtection() override { events.push_back("poke"); }
    void StartProtectionProgram() override { events.push_back("start"); }
    void Sleep(unsigned) override {}
};

TEST(ActiveProtectionControllerTest, OpeningShowsTheFileAndTheProtectionsState) {
    struct Case {
        bool runs;
        int memory;
        int status;
        int caption;
        bool stopped;
    };
    const Case cases[] = {
        {false, 1, 280, 281, true},
        {true, 1, 279, 282, false},
        {true, 0, 375, 282, false},
    };
    for (const Case& c : cases) {
        RecordingView view;
        view.runs = c.runs;
        view.file.memory = c.memory;
        ActiveProtectionController controller(view, false);
        controller.OnInitDialog();
        EXPECT_EQ(view.boxes[kApMemoryBox], c.memory == 1);
        EXPECT_FALSE(view.boxes[kApCookiesBox]);
        EXPECT_TRUE(view.boxes[kApOnBootBox]);
        EXPECT_EQ(view.run_entry, true);
        EXPECT_EQ(view.status, c.status);
        EXPECT_EQ(view.caption, c.caption);
        EXPECT_EQ(controller.stopped(), c.stopped);
    }
}

TEST(ActiveProtectionControllerTest, ApplySavesKeepsHeuristicsAndDisablesCancel) {
    RecordingView view;
    view.file.heuristics = 1;
    ActiveProtectionController controller(view, false);
    controller.OnInitDialog();
    view.boxes[kApMemoryBox] = true;
    controller.OnOptionChanged();
    EXPECT_TRUE(view.enabled[kApApply]);
    controller.OnApply();
    EXPECT_EQ(view.file, (ActiveProtectionSettings{1, 0, 1, 1}));
    EXPECT_EQ(view.status, 279);
    EXPECT_FALSE(view.enabled[kApApply]);
    EXPECT_FALSE(view.enabled[kApCancel]);
    EXPECT_FALSE(controller.dirty());
    // A further change enables Apply, not Cancel.
    controller.OnOptionChanged();
    EXPECT_TRUE(view.enabled[kApApply]);
    EXPECT_FALSE(view.enabled[kApCancel]);
}

TEST(ActiveProtectionControllerTest, OkRestartsTheProtectionOnlyOnceItHasGone) {
    struct Case {
        const char* name;
        int mutex_lingers;
        std::vector<std::string> events;
    };
    const Case cases[] = {
        {"goes at once", 0, {"close", "save", "start"}},
        {"goes after a while", 30, {"close", "save", "start"}},
        {"never goes", -1, {"close", "save", "message 295"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingView view;
        view.runs = true;
        view.mutex_lingers = c.mutex_lingers;
        view.window_lingers = c.mutex_lingers;
        ActiveProtectionController controller(view, false);
        controller.OnInitDialog();
        view.boxes[kApCookiesBox] = true;
        controller.OnOptionChanged();
        controller.OnOk();
        EXPECT_EQ(view.events, c.events);
        EXPECT_EQ(view.closed, kApOk);
    }
}

TEST(ActiveProtectionControllerTest, StartAndStop) {
    RecordingView view;
    ActiveProtectionController controller(view, false);
    controller.OnInitDialog();
    // Stopped: the button starts it; with its window there, it is poked.
    controller.OnStartStop();
    view.runs = true;
    controller.OnStartStop();
    EXPECT_EQ(view.events, (std::vector<std::string>{"start", "poke"}));
    EXPECT_TRUE(view.enabled[kApApply]);
    // Running: Stop asks 315; No leaves it.
    view.events.clear();
    controller.SetStopped(false);
    view.answer = false;
    controller.OnStartStop();
    EXPECT_EQ(view.events, std::vector<std::string>{"ask 315"});
    // Yes closes it; a window that stays gives 295.
    view.answer = true;
    view.window_lingers = -1;
    view.events.clear();
    controller.OnStartStop();
    EXPECT_EQ(view.events, (std::vector<std::string>{"ask 315", "close", "message 295"}));
}

TEST(ActiveProtectionControllerTest, CancelAsksOnlyWithChanges) {
    RecordingView view;
    ActiveProtectionController controller(view, false);
    controller.OnInitDialog();
    controller.OnOptionChanged();
    view.answer = false;
    controller.OnCancel();
    EXPECT_FALSE(view.closed);
    EXPECT_EQ(view.events, std::vector<std::string>{"ask 292"});
    view.answer = true;
    controller.OnCancel();
    EXPECT_EQ(view.closed, kApCancel);
    EXPECT_EQ(view.events.back(), "ask 292");
}

TEST(ActiveProtectionControllerTest, LimitedRightsChangeNothing) {
    RecordingView view;
    view.runs = true;
    ActiveProtectionController controller(view, true);
    controller.OnInitDialog();
    for (const int id : {kApMemoryBox, kApCookiesBox, kApOnBootBox, kApOk, kApApply})
        EXPECT_FALSE(view.enabled.at(id)) << id;
    EXPECT_FALSE(view.run_entry);
    controller.OnOptionChanged();
    controller.OnApply();
    controller.OnOk();
    EXPECT_FALSE(view.closed);
    EXPECT_TRUE(view.events.empty());
    // Stopping is still possible.
    controller.OnStartStop();
    EXPECT_EQ(view.events, (std::vector<std::string>{"ask 315", "close"}));
}

}  // namespace
}  // namespace olvex
