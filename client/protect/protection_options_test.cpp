#include "client/protect/protection_options.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace olvex::protect {
namespace {

class FakeWindow final : public ProtectionOptionsView {
  public:
    OptionBoxes Boxes() const override { return boxes; }
    void ShowBoxes(const OptionBoxes& shown) override { boxes = shown; }
    void PublishScanOptions(bool memory, bool cookies) override { published = {memory, cookies}; }

    OptionBoxes boxes;
    std::pair<bool, bool> published{false, false};
};

ActiveProtectionSettings Settings(int memory, int cookies, int heuristics, int on_boot) {
    ActiveProtectionSettings settings;
    settings.memory = memory;
    settings.cookies = cookies;
    settings.heuristics = heuristics;
    settings.on_boot = on_boot;
    return settings;
}

// A box unticked reaches the worker at once; Cancel (or any hide without
// applying) puts the box and the worker's options back.
TEST(ProtectionOptionsTest, ACancelledBoxPutsTheWorkersOptionsBack) {
    FakeWindow window;
    ProtectionOptions options(window);
    options.applied() = Settings(1, 1, 0, 1);
    options.Show();
    EXPECT_EQ(window.boxes, (OptionBoxes{true, true, true}));
    EXPECT_EQ(window.published, std::make_pair(true, true));

    const struct {
        const char* name;
        OptionBoxes clicked;
    } clicks[] = {
        {"memory off", {false, true, true}},
        {"cookies off", {true, false, true}},
        {"both off", {false, false, true}},
        {"on boot off only", {true, true, false}},
    };
    for (const auto& click : clicks) {
        SCOPED_TRACE(click.name);
        window.boxes = click.clicked;
        options.OnBoxClicked();
        EXPECT_EQ(window.published, std::make_pair(click.clicked.memory, click.clicked.cookies));
        options.Revert();
        EXPECT_EQ(window.published, std::make_pair(true, true));
        EXPECT_EQ(window.boxes, (OptionBoxes{true, true, true}));
        EXPECT_EQ(options.applied(), Settings(1, 1, 0, 1));
    }
}

// Applied boxes stay after the window hides; the flag without a box is kept.
TEST(ProtectionOptionsTest, AppliedBoxesOutliveTheHide) {
    FakeWindow window;
    ProtectionOptions options(window);
    options.applied() = Settings(1, 1, 1, 1);
    options.Show();
    window.boxes = {false, true, false};
    options.OnBoxClicked();
    EXPECT_EQ(options.Apply(), Settings(0, 1, 1, 0));
    EXPECT_EQ(window.published, std::make_pair(false, true));
    // A later click, then Cancel: back to what Apply made, not to the start.
    window.boxes = {true, false, true};
    options.OnBoxClicked();
    EXPECT_EQ(window.published, std::make_pair(true, false));
    options.Revert();
    EXPECT_EQ(window.boxes, (OptionBoxes{false, true, false}));
    EXPECT_EQ(window.published, std::make_pair(false, true));
}

}  // namespace
}  // namespace olvex::protect
