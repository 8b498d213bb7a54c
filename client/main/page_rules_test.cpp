// The home and configuration pages' decisions.
#include "client/main/page_rules.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace olvex {
namespace {

TEST(PageRulesTest, StatusAndActiveProtectionDialogFollowTheBackgroundProtection) {
    struct Case {
        bool running;
        int memory;
        int cookies;
        int status_id;
        ActiveProtectionDialogState dialog;
    };
    const Case cases[] = {
        // Not running: stopped whatever the settings say; the button starts it.
        {false, 1, 1, 145, {280, 281, true}},
        {false, 0, 0, 145, {280, 281, true}},
        // Running with either protection on.
        {true, 1, 0, 146, {279, 282, false}},
        {true, 0, 1, 146, {279, 282, false}},
        {true, 1, 1, 146, {279, 282, false}},
        // Running with both off.
        {true, 0, 0, 375, {375, 282, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.running << c.memory << c.cookies);
        ActiveProtectionSettings settings;
        settings.memory = c.memory;
        settings.cookies = c.cookies;
        const ProtectionStatus status = ProtectionStatusOf(c.running, settings);
        EXPECT_EQ(ProtectionStatusStringId(status), c.status_id);
        EXPECT_EQ(ActiveProtectionDialogStateFor(status, c.running), c.dialog);
    }
    // A status read just before the background protection started: the
    // dialog's button already stops it.
    EXPECT_EQ(ActiveProtectionDialogStateFor(ProtectionStatus::kStopped, true),
              (ActiveProtectionDialogState{280, 282, false}));
}

TEST(PageRulesTest, ConfigurationLinksGuardTheirResources) {
    struct Case {
        ConfigLink link;
        bool free;     // neither updater nor limited rights
        bool limited;  // limited rights, no updater
    };
    const Case cases[] = {
        {ConfigLink::kActiveProtection, true, true},
        {ConfigLink::kUpdates, true, true},
        {ConfigLink::kPrevalence, true, false},
        {ConfigLink::kSounds, true, false},
        {ConfigLink::kQuarantine, true, false},
        {ConfigLink::kExclusions, true, false},
        {ConfigLink::kLog, true, true},
        {ConfigLink::kHomePage, true, true},
        {ConfigLink::kScanPage, true, true},
        {ConfigLink::kAbout, true, true},
        {ConfigLink::kHelp, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.link));
        EXPECT_EQ(ConfigLinkAllowed(c.link, false, false), c.free);
        EXPECT_EQ(ConfigLinkAllowed(c.link, false, true), c.limited);
        // While the updater's window is open nothing acts but the link that
        // brings the updater to the front.
        const bool front = c.link == ConfigLink::kUpdates;
        EXPECT_EQ(ConfigLinkAllowed(c.link, true, false), front);
        EXPECT_EQ(ConfigLinkAllowed(c.link, true, true), front);
    }

    EXPECT_TRUE(PestActivityClaimed(true, 0));
    EXPECT_FALSE(PestActivityClaimed(true, 183));  // a scan or clean runs
    EXPECT_FALSE(PestActivityClaimed(true, 5));    // made by an account we may not open
    EXPECT_FALSE(PestActivityClaimed(false, 0));
}

}  // namespace
}  // namespace olvex
