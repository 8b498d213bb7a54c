#include "client/common/ui/band_layout.h"

#include <gtest/gtest.h>

#include "client/common/ui/sort_order.h"

namespace olvex::ui {
namespace {

using Kind = ResizeTracker::Step::Kind;

TEST(BandLayout, MovesControlsSixtyPixelsUpKeepingLeftAndSize) {
    const Rect control{12, 75, 112, 98};
    const Rect moved = MovedAboveBand(control);
    EXPECT_EQ(moved, (Rect{12, 15, 112, 38}));
    EXPECT_EQ(moved.width(), control.width());
    EXPECT_EQ(moved.height(), control.height());
    // Pixels, not dialog units; moving twice doubles the shift.
    EXPECT_EQ(MovedAboveBand(moved), (Rect{12, -45, 112, -22}));
}

TEST(BandLayout, ShortensWindowsByTheBandOnly) {
    EXPECT_EQ(ShortenedByBand(Rect{100, 50, 500, 450}), (Rect{100, 50, 500, 390}));
    // A window lower than the band does not turn inside out.
    EXPECT_EQ(ShortenedByBand(Rect{0, 0, 80, 40}), (Rect{0, 0, 80, 0}));
}

TEST(BandLayout, PlacesOnTheAnchorsCornerKeepingTheSize) {
    EXPECT_EQ(PlacedOnCorner(Rect{300, 200, 700, 500}, Rect{-10, 20, 600, 400}),
              (Rect{-10, 20, 390, 320}));
}

TEST(ResizeTracker, FirstReportFixesTheMinimumThenLaysOutBySteps) {
    ResizeTracker tracker;
    EXPECT_EQ(tracker.OnClientSize({400, 300}).kind, Kind::kRecorded);
    ASSERT_TRUE(tracker.minimum());
    EXPECT_EQ(*tracker.minimum(), (Size{400, 300}));

    auto step = tracker.OnClientSize({450, 330});
    EXPECT_EQ(step.kind, Kind::kLayout);
    EXPECT_EQ(step.dx, 50);
    EXPECT_EQ(step.dy, 30);
    // Back down to the minimum moves the controls back.
    step = tracker.OnClientSize({400, 300});
    EXPECT_EQ(step.kind, Kind::kLayout);
    EXPECT_EQ(step.dx, -50);
    EXPECT_EQ(step.dy, -30);
}

TEST(ResizeTracker, SmallerInEitherDirectionSnapsBackToTheLargerOfEach) {
    ResizeTracker tracker;
    tracker.OnClientSize({400, 300});
    tracker.OnClientSize({500, 320});
    struct Case {
        Size reported;
        Size snapped;
    };
    for (const Case& c :
         {Case{{399, 350}, {400, 350}}, Case{{600, 10}, {600, 300}}, Case{{1, 1}, {400, 300}}}) {
        const auto step = tracker.OnClientSize(c.reported);
        EXPECT_EQ(step.kind, Kind::kSnapBack);
        EXPECT_EQ(step.snap_to, c.snapped);
    }
    // A snap moves nothing: the next report still measures from the last
    // laid-out size.
    const auto step = tracker.OnClientSize({400, 350});
    EXPECT_EQ(step.kind, Kind::kLayout);
    EXPECT_EQ(step.dx, -100);
    EXPECT_EQ(step.dy, 30);
}

TEST(ResizeTracker, ResetForgetsAnEarlierMinimumAndEmptyReportsNeverBecomeOne) {
    ResizeTracker tracker;
    tracker.OnClientSize({800, 600});
    tracker.Reset();
    EXPECT_FALSE(tracker.minimum());
    // A minimised window's 0 by 0 is no minimum.
    EXPECT_EQ(tracker.OnClientSize({0, 0}).kind, Kind::kRecorded);
    EXPECT_FALSE(tracker.minimum());
    tracker.OnClientSize({300, 200});
    EXPECT_EQ(*tracker.minimum(), (Size{300, 200}));
}

TEST(SortOrder, FileTimesCompareHighHalfSignedLowHalfUnsigned) {
    struct Case {
        std::uint64_t a;
        std::uint64_t b;
        int expected;
    };
    const Case cases[] = {
        {0x01C4'0000'0000'0000ull, 0x01C4'0000'0000'0001ull, -1},
        {0x01C4'0000'8000'0000ull, 0x01C4'0000'7FFF'FFFFull, 1},   // low half unsigned
        {0xFFFF'FFFF'0000'0000ull, 0x0000'0001'0000'0000ull, -1},  // high half signed
        {0x01C4'1234'5678'9ABCull, 0x01C4'1234'5678'9ABCull, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CompareFileTimes(c.a, c.b), c.expected) << std::hex << c.a << " " << c.b;
        EXPECT_EQ(CompareFileTimes(c.b, c.a), -c.expected);
    }
    EXPECT_EQ(SignOf(-42), -1);
    EXPECT_EQ(SignOf(0), 0);
    EXPECT_EQ(SignOf(7), 1);
}

}  // namespace
}  // namespace olvex::ui
