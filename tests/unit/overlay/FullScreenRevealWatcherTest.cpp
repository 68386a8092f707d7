#include <gtest/gtest.h>

#include "core/overlay/FullScreenRevealWatcher.h"
#include "core/runtime/VirtualRunLoop.h"
#include "tests/support/RecordingLogSink.h"
#include "tests/unit/overlay/OverlayFakes.h"
#include "tests/unit/shell/ShellFakes.h"

namespace lidora::testing {
namespace {

using namespace std::chrono_literals;

const Rect kMain{{0, 0}, {1512, 982}};
const Rect kSideCocoa{{1512, -98}, {1920, 1080}};
const Rect kSide{{1512, 0}, {1920, 1080}};

TEST(MenuBarAutoHide, ReadsOnlyTheFourSettings) {
    struct Row {
        std::optional<PreferenceValue> stored;
        bool suiteOpens;
        std::optional<MenuBarAutoHide> read;
    };
    const Row rows[] = {
        {std::nullopt, true, std::nullopt},
        {PreferenceValue(7), true, std::nullopt},
        {PreferenceValue(-1), true, std::nullopt},
        {PreferenceValue("2"), true, std::nullopt},
        {PreferenceValue(2.0), true, std::nullopt},
        {PreferenceValue(0), true, MenuBarAutoHide::always},
        {PreferenceValue(3), true, MenuBarAutoHide::never},
        {PreferenceValue(1), false, std::nullopt},
    };
    for (const auto& row : rows) {
        MemoryDefaultsProvider defaults;
        defaults.suiteOpens = row.suiteOpens;
        if (row.stored) {
            defaults.suiteDefaults->values["AutoHideMenuBarOption"] = *row.stored;
        }
        EXPECT_EQ(readAutoHide(defaults), row.read);
    }
}

TEST(RevealRule, RowByRow) {
    const auto full = SpaceKind::fullScreen(CoverState::onScreen);
    const auto gone = SpaceKind::fullScreen(CoverState::offScreen);
    const auto unknown = SpaceKind::unknown();
    const auto never = MenuBarAutoHide::never;
    struct Row {
        const char* why;
        RevealInputs in;
        RevealDecision out;
    };
    const Row rows[] = {
        {"no style: hidden, tracker kept",
         {full, {false, true, false}, true, false, never, false},
         {false, {false, true, false}}},
        {"cover on screen", {full, {}, true, false, never, true}, {false, {true, false, true}}},
        {"cover gone after it was seen",
         {gone, {true, true, true}, true, false, never, true},
         {true, {true, false, true}}},
        {"cover gone, never seen", {gone, {}, true, false, never, true}, {false, {false, false, true}}},
        {"desktop", {SpaceKind::desktop(), {true, true, true}, true, true, never, true}, {false, {false, false, true}}},
        {"bar hidden on a desktop",
         {SpaceKind::desktopBarHidden(), {true, false, true}, true, true, never, true},
         {false, {false, false, true}}},
        {"desktop panel on the active space wins",
         {full, {true, false, true}, true, true, never, true},
         {false, {false, false, true}}},
        {"sliding",
         {SpaceKind::transitioning(), {true, false, true}, true, false, never, true},
         {false, {true, true, true}}},
        {"first reading, Finder listed", {unknown, {}, true, false, std::nullopt, true}, {true, {true, false, true}}},
        {"first reading after a slide, never hides",
         {unknown, {false, true, false}, true, false, never, true},
         {true, {true, true, true}}},
        {"first reading after a slide, no desktop panel",
         {unknown, {false, true, false}, true, std::nullopt, never, true},
         {false, {true, true, true}}},
        {"cover seen, no slide since",
         {unknown, {true, false, true}, false, false, MenuBarAutoHide::always, true},
         {true, {true, false, true}}},
        {"after a slide, on desktop only",
         {unknown, {true, true, true}, true, false, MenuBarAutoHide::onDesktopOnly, true},
         {true, {true, true, true}}},
        {"after a slide, always hides",
         {unknown, {true, true, true}, true, false, MenuBarAutoHide::always, true},
         {false, {true, true, true}}},
        {"after a slide, in full screen only",
         {unknown, {false, true, true}, true, false, MenuBarAutoHide::inFullScreenOnly, true},
         {false, {false, true, true}}},
        {"nothing seen, setting unknown",
         {unknown, {false, false, true}, false, false, std::nullopt, true},
         {false, {false, false, true}}},
        {"nothing seen, never hides",
         {unknown, {false, false, true}, false, false, never, true},
         {true, {false, false, true}}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(decideReveal(row.in), row.out) << row.why;
    }
}

class WatcherTest : public ::testing::Test {
public:
    WatcherTest() {
        screens.list = {screenAt(1, kMain)};
        defaults.suiteDefaults->values["AutoHideMenuBarOption"] = 2;
    }

    void showFullScreenCovered(const Rect& frame = kMain) {
        server.windows.clear();
        server.cover(frame, true);
        server.finder(frame, false);
    }
    void showFullScreenRevealed(const Rect& frame = kMain) {
        server.windows.clear();
        server.menuBar(frame, 0);
        server.cover(frame, false);
        server.finder(frame, false);
    }
    void showDesktop(const Rect& frame = kMain) {
        server.windows.clear();
        server.menuBar(frame, 0);
        server.finder(frame, true);
    }
    void showLogo() {
        overlay.setStyle(Style::rainbow());
        overlay.update();
        watcher.start();
        loop.runUntilIdle();
    }
    std::vector<std::string> logged(const std::string& prefix) const {
        std::vector<std::string> found;
        for (const auto& message : sink->messages()) {
            if (message.rfind(prefix, 0) == 0) {
                found.push_back(message);
            }
        }
        return found;
    }
    bool revealShown(DisplayID id = 1) { return fake(overlay.panels()[id].reveal).visible; }

    VirtualRunLoop loop;
    FakeWindowServer server;
    FakeScreens screens;
    FakePanelMaker maker;
    FakeWorkspace workspace;
    FakeEvents events;
    MemoryDefaultsProvider defaults;
    std::shared_ptr<RecordingLogSink> sink = std::make_shared<RecordingLogSink>();
    AppleLogoOverlay overlay{{loop, server, screens, maker, sink}};
    FullScreenRevealWatcher watcher{{loop, overlay, workspace, events, defaults, sink}};
};

TEST_F(WatcherTest, SettlesWithEightPassesAQuarterSecondApartAfterStartAndSpaceChanges) {
    showDesktop();
    showLogo();
    EXPECT_EQ(watcher.autoHide(), MenuBarAutoHide::inFullScreenOnly);
    for (const bool spaceChange : {false, true}) {
        if (spaceChange) {
            workspace.spaceChange();
        }
        EXPECT_EQ(watcher.settleAttemptsLeft(), 8);
        const int before = server.reads;
        loop.advance(249ms);
        EXPECT_EQ(server.reads, before);
        loop.advance(1ms);
        EXPECT_EQ(server.reads, before + 1);
        loop.advance(10s);
        EXPECT_EQ(server.reads, before + 8);
        EXPECT_EQ(watcher.settleAttemptsLeft(), 0);
        EXPECT_FALSE(watcher.pollInterval()) << "a desktop whose bar never hides needs no polling";
        EXPECT_EQ(loop.pendingTimers(), 0U);
    }
}

TEST_F(WatcherTest, RevealsOverAFullScreenSpaceOnceTheCoverGoes) {
    showFullScreenCovered();
    overlay.setStyle(Style::rainbow());
    overlay.update();
    maker.activeSpace = 1;  // the full-screen space
    watcher.start();
    EXPECT_FALSE(overlay.panels()[1].desktop);
    EXPECT_FALSE(revealShown());
    EXPECT_EQ(logged("Display 1: "),
              (std::vector<std::string>{"Display 1: fullScreen(onScreen)", "Display 1: full-screen logo hidden"}));
    // The pointer reaches the top: the cover leaves the on-screen list.
    events.move({300, 975});
    EXPECT_TRUE(watcher.pointerNearTop());
    showFullScreenRevealed();
    watcher.evaluate();
    EXPECT_TRUE(revealShown());
    watcher.evaluate();
    EXPECT_EQ(logged("Display 1: full-screen logo shown").size(), 1U);
    EXPECT_EQ(watcher.kinds().at(1).description(), "unknown");
}

TEST_F(WatcherTest, PointerNearTheTopCountsOnceAndSetsThePollInterval) {
    showFullScreenCovered();
    maker.activeSpace = 1;
    showLogo();
    loop.advance(3s);  // settled
    EXPECT_EQ(watcher.pollInterval(), std::nullopt) << "covered, pointer away";

    struct Step {
        Point pointer;
        bool nearTop;
        bool passRuns;
    };
    const Step steps[] = {
        {{300, 982 - 24 - 8}, true, true},  // the lowest point that counts
        {{600, 980}, true, false},
        {{1511, 982}, true, false},
        {{1512, 982}, false, true},  // off the right edge
        {{300, 982 - 24 - 8.5}, false, false},
    };
    for (const auto& step : steps) {
        const int before = server.reads;
        events.move(step.pointer);
        EXPECT_EQ(watcher.pointerNearTop(), step.nearTop) << step.pointer.x << "," << step.pointer.y;
        EXPECT_EQ(server.reads - before, step.passRuns ? 1 : 0) << step.pointer.x << "," << step.pointer.y;
    }
    events.move({300, 980});
    EXPECT_EQ(watcher.pollInterval(), 16666666ns) << "followed while the pointer is at the top";
}

TEST_F(WatcherTest, PollsFastForFiveSecondsAfterThePointerLeavesThenSlowly) {
    showFullScreenCovered();
    maker.activeSpace = 1;
    showLogo();
    events.move({300, 980});
    showFullScreenRevealed();
    loop.advance(20ms);
    ASSERT_TRUE(revealShown());
    EXPECT_EQ(watcher.pollInterval(), 16666666ns);

    events.move({300, 500});  // away, the bar still revealed
    EXPECT_EQ(watcher.pollInterval(), 16666666ns);
    loop.advance(4900ms);
    EXPECT_EQ(watcher.pollInterval(), 16666666ns);
    loop.advance(200ms);
    EXPECT_EQ(watcher.pollInterval(), 250ms);

    // The bar slides away: 1/120 s while it moves.
    server.windows.clear();
    server.menuBar(kMain, -12);
    server.finder(kMain, false);
    loop.advance(250ms);
    EXPECT_EQ(watcher.pollInterval(), 8333333ns);
    EXPECT_TRUE(watcher.barMoving().at(1));

    // Covered again: nothing to follow.
    showFullScreenCovered();
    loop.advance(10ms);
    EXPECT_EQ(watcher.pollInterval(), std::nullopt);
    EXPECT_FALSE(revealShown());
}

TEST_F(WatcherTest, PollIntervalByWhatTheDisplaysShow) {
    struct Row {
        const char* why;
        std::int64_t autoHide;
        std::function<void(WatcherTest&)> scene;
        bool style;
        std::optional<Duration> interval;
    };
    const Row rows[] = {
        {"desktop, bar never hides", 3, [](auto& t) { t.showDesktop(); }, true, std::nullopt},
        {"hidden desktop bar", 0,
         [](auto& t) {
             t.server.windows.clear();
             t.server.cover(kMain, true);
             t.server.finder(kMain, true);
         },
         true, 1s},
        {"hidden desktop bar, no logo", 0,
         [](auto& t) {
             t.server.windows.clear();
             t.server.cover(kMain, true);
             t.server.finder(kMain, true);
         },
         false, std::nullopt},
        {"moving bar, no logo", 3,
         [](auto& t) {
             t.server.windows.clear();
             t.server.menuBar(kMain, -3);
             t.server.finder(kMain, true);
         },
         false, 8333333ns},
    };
    for (const auto& row : rows) {
        VirtualRunLoop rowLoop;
        FakePanelMaker rowMaker;
        AppleLogoOverlay rowOverlay{{rowLoop, server, screens, rowMaker, nullptr}};
        FullScreenRevealWatcher rowWatcher{{rowLoop, rowOverlay, workspace, events, defaults, nullptr}};
        defaults.suiteDefaults->values["AutoHideMenuBarOption"] = row.autoHide;
        row.scene(*this);
        if (row.style) {
            rowOverlay.setStyle(Style::rainbow());
            rowOverlay.update();
        }
        rowWatcher.start();
        rowLoop.advance(3s);
        EXPECT_EQ(rowWatcher.pollInterval(), row.interval) << row.why;
        if (!row.style) {
            EXPECT_TRUE(rowWatcher.revealVisible().at(1) == false) << row.why;
        }
    }
}

TEST_F(WatcherTest, ADisplayRemovedBetweenPassesIsForgotten) {
    screens.list = {screenAt(1, kMain), screenAt(2, kSideCocoa)};
    showFullScreenCovered(kSide);
    server.menuBar(kMain, 0);
    server.finder(kMain, true);
    showLogo();
    EXPECT_EQ(watcher.kinds().size(), 2U);
    screens.list = {screenAt(1, kMain)};
    watcher.evaluate();
    EXPECT_EQ(watcher.kinds().size(), 1U);
    EXPECT_EQ(watcher.trackers().count(2), 0U);
    EXPECT_EQ(watcher.revealVisible().count(2), 0U);
    EXPECT_EQ(watcher.barMoving().count(2), 0U);
}

TEST_F(WatcherTest, StopPutsTheDesktopLogoBackAndStartBeginsAfresh) {
    // A hidden desktop bar mid-slide: the logo is shifted up with it.
    defaults.suiteDefaults->values["AutoHideMenuBarOption"] = 0;
    server.windows.clear();
    server.menuBar(kMain, -10);
    server.finder(kMain, true);
    showLogo();
    const auto& desktop = fake(overlay.panels()[1].desktop);
    EXPECT_EQ(desktop.rect.origin.y, 968);
    server.windows.clear();
    server.cover(kMain, true);
    server.finder(kMain, true);
    watcher.evaluate();
    EXPECT_EQ(desktop.alpha, 0);

    watcher.stop();
    EXPECT_EQ(desktop.alpha, 1);
    EXPECT_EQ(desktop.rect.origin.y, 958);
    EXPECT_EQ(watcher.pollInterval(), std::nullopt);
    EXPECT_EQ(loop.pendingTimers(), 0U);
    EXPECT_TRUE(watcher.kinds().empty());
    watcher.stop();  // nothing more

    sink->records.clear();
    showFullScreenCovered();
    maker.activeSpace = 1;
    watcher.start();
    EXPECT_EQ(logged("Display 1: "),
              (std::vector<std::string>{"Display 1: fullScreen(onScreen)", "Display 1: full-screen logo hidden"}));
    EXPECT_TRUE(watcher.trackers().at(1).sawCoverOnScreen);
}

TEST_F(WatcherTest, WithoutAStyleNoRevealPanelShowsAndTrackersStay) {
    showFullScreenRevealed();
    watcher.start();
    EXPECT_EQ(watcher.trackers().at(1), FullScreenRevealTracker{});
    EXPECT_FALSE(watcher.revealVisible().at(1));
    EXPECT_TRUE(overlay.panels().empty());
}

}  // namespace
}  // namespace lidora::testing
