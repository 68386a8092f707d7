#include <gtest/gtest.h>

#include "core/overlay/EasterEgg.h"
#include "core/runtime/VirtualRunLoop.h"
#include "tests/support/RecordingLogSink.h"
#include "tests/unit/overlay/OverlayFakes.h"

namespace lidora::testing {
namespace {

// A 1512 × 982 built-in display, with a second one to its right.
const Rect kMain{{0, 0}, {1512, 982}};
const Rect kSide{{1512, 0}, {1920, 1080}};  // Quartz; its Cocoa frame is {1512, -98}
const Rect kSideCocoa{{1512, -98}, {1920, 1080}};

class OverlayTest : public ::testing::Test {
protected:
    OverlayTest() { screens.list = {screenAt(1, kMain)}; }

    std::vector<std::string> logged() const { return sink->messages(); }

    VirtualRunLoop loop;
    FakeWindowServer server;
    FakeScreens screens;
    FakePanelMaker maker;
    std::shared_ptr<RecordingLogSink> sink = std::make_shared<RecordingLogSink>();
    AppleLogoOverlay overlay{{loop, server, screens, maker, sink}};
};

TEST(EasterEgg, StoredAndEffectiveShowModes) {
    using Mode = EasterEgg::ShowMode;
    struct Row {
        std::optional<PreferenceValue> stored;
        HardwareSupport hardware;
        Mode effective;
    };
    const Row rows[] = {
        {std::nullopt, HardwareSupport::supported, Mode::withLight},
        {PreferenceValue("always"), HardwareSupport::supported, Mode::always},
        {PreferenceValue("withLight"), HardwareSupport::unknown, Mode::withLight},
        {PreferenceValue("Always"), HardwareSupport::supported, Mode::withLight},
        {PreferenceValue(1), HardwareSupport::supported, Mode::withLight},
        {PreferenceValue("always"), HardwareSupport::unsupported, Mode::always},
        {PreferenceValue("withLight"), HardwareSupport::unsupported, Mode::always},
    };
    for (const auto& row : rows) {
        MemoryDefaults defaults;
        if (row.stored) {
            defaults.values["classicLogoShowMode"] = *row.stored;
        }
        EXPECT_EQ(EasterEgg::effectiveShowMode(EasterEgg::storedShowMode(defaults), row.hardware), row.effective)
            << EasterEgg::name(row.effective);
    }
}

TEST(WindowInfo, EntriesWithoutReadableBoundsAreDroppedAndOtherKeysDefault) {
    const PreferenceDictionary bounds{{"X", 1}, {"Y", 2.5}, {"Width", 3}, {"Height", 4}};
    struct Row {
        PreferenceDictionary entry;
        std::optional<WindowInfo> read;
    };
    const Row rows[] = {
        {{{kCGWindowOwnerName, "Finder"}}, std::nullopt},
        {{{kCGWindowBounds, "1,2,3,4"}}, std::nullopt},
        {{{kCGWindowBounds, PreferenceDictionary{{"X", 1}, {"Y", 2}, {"Width", 3}}}}, std::nullopt},
        {{{kCGWindowBounds, PreferenceDictionary{{"X", 1}, {"Y", 2}, {"Width", true}, {"Height", 4}}}}, std::nullopt},
        {{{kCGWindowBounds, bounds}}, WindowInfo{"", 0, {{1, 2.5}, {3, 4}}, false}},
        {{{kCGWindowBounds, bounds}, {kCGWindowOwnerName, 7}, {kCGWindowLayer, "24"}, {kCGWindowIsOnscreen, 1}},
         WindowInfo{"", 0, {{1, 2.5}, {3, 4}}, false}},
        {{{kCGWindowBounds, bounds}, {kCGWindowOwnerName, "Dock"}, {kCGWindowLayer, 20}, {kCGWindowIsOnscreen, true}},
         WindowInfo{"Dock", 20, {{1, 2.5}, {3, 4}}, true}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(WindowInfo::from(row.entry), row.read);
    }
}

TEST_F(OverlayTest, SpaceKindOfEachTopStrip) {
    struct Row {
        const char* scene;
        std::function<void(FakeWindowServer&)> compose;
        std::string kind;
    };
    const Row rows[] = {
        {"desktop with its bar", [](auto& s) { s.menuBar(kMain, 0), s.finder(kMain, true); }, "desktop"},
        {"auto-hidden desktop bar", [](auto& s) { s.cover(kMain, true), s.finder(kMain, true); }, "desktopBarHidden"},
        {"full screen, covered", [](auto& s) { s.cover(kMain, true), s.finder(kMain, false); }, "fullScreen(onScreen)"},
        {"full screen, cover gone", [](auto& s) { s.cover(kMain, false); }, "fullScreen(offScreen)"},
        {"desktop, cover listed off", [](auto& s) { s.cover(kMain, false), s.finder(kMain, true); }, "desktop"},
        {"cover sliding", [](auto& s) { s.cover(kMain, true, -700); }, "transitioning"},
        {"cover of the other display", [](auto& s) { s.cover(kSide, true); }, "unknown"},
        {"a 70-point cover is no bar", [](auto& s) { s.cover(kMain, true, 0, 70), s.finder(kMain, true); }, "desktop"},
        {"nothing listed", [](auto&) {}, "unknown"},
    };
    for (const auto& row : rows) {
        FakeWindowServer scene;
        row.compose(scene);
        std::vector<WindowInfo> onScreen;
        for (const auto& window : scene.windows) {
            if (window.isOnScreen || window.owner == "MenuBarAgent") {
                onScreen.push_back(window);
            }
        }
        EXPECT_EQ(overlay.spaceKind(kMain, onScreen).description(), row.kind) << row.scene;
    }
}

TEST_F(OverlayTest, MenuBarHeightPrefersTheBarWindowThenTheGapThenWhatWasKnown) {
    struct Row {
        const char* why;
        double barWindow;  // 0: none listed
        double gap;
        double notch;
        double expected;
    };
    const Row rows[] = {
        {"bar window", 37, 38, 32, 37},  {"a 25-point gap", 0, 25, 0, 24},  {"hidden, known before", 0, 0, 0, 24},
        {"hidden, notch", 0, 0, 32, 32}, {"hidden, no notch", 0, 1, 0, 24},
    };
    for (const auto& row : rows) {
        FakeScreens fresh;
        AppleLogoOverlay subject{{loop, server, fresh, maker, nullptr}};
        fresh.list = {screenAt(1, kMain, row.gap, row.notch)};
        std::vector<WindowInfo> windows;
        if (row.barWindow > 0) {
            windows.push_back({"Window Server", kMainMenuLevel, {{0, 0}, {1512, row.barWindow}}, true});
        }
        if (std::string(row.why) == "hidden, known before") {
            fresh.list = {screenAt(1, kMain, 25)};
            (void)subject.menuBarHeight(fresh.list[0]);
            fresh.list = {screenAt(1, kMain, 0, 32)};
        }
        subject.refreshBarWindowHeights(windows);
        EXPECT_EQ(subject.menuBarHeight(fresh.list[0]), row.expected) << row.why;
    }
}

TEST_F(OverlayTest, UpdateBuildsPanelsForWhatEachDisplayShows) {
    screens.list = {screenAt(1, kMain), screenAt(2, kSideCocoa)};
    server.menuBar(kMain, 0);
    server.finder(kMain, true);
    server.cover(kSide, true);  // the second display shows a full-screen app
    server.finder(kSide, false);
    overlay.setStyle(Style::rainbow());
    overlay.update();

    auto& panels = overlay.panels();
    ASSERT_EQ(panels.size(), 2U);
    ASSERT_TRUE(panels[1].desktop);
    const auto& desktop = fake(panels[1].desktop);
    EXPECT_TRUE(desktop.visible);
    EXPECT_EQ(desktop.rect, (Rect{{0, 958}, {54.3, 24}}));
    EXPECT_EQ(desktop.settings.level, kMainMenuLevel + 2);
    EXPECT_EQ(desktop.settings.collectionBehavior, CollectionBehavior::ignoresCycle);
    EXPECT_EQ(desktop.settings.content, (LogoContent{Style::rainbow(), Placement{}}));
    EXPECT_FALSE(fake(panels[1].reveal).visible);
    EXPECT_EQ(fake(panels[1].reveal).settings.collectionBehavior, 0b101010001U);

    EXPECT_FALSE(panels[2].desktop) << "a full-screen display has no desktop panel";
    EXPECT_EQ(fake(panels[2].reveal).rect, (Rect{{1512, 958}, {54.3, 24}}));
    EXPECT_EQ(logged(), (std::vector<std::string>{"Overlay built for display 1: desktop",
                                                  "Overlay built for display 2: fullScreen(onScreen)"}));

    // Without a style every panel goes and none is made.
    overlay.setStyle(std::nullopt);
    overlay.update();
    EXPECT_TRUE(overlay.panels().empty());
    for (const auto* panel : maker.made) {
        EXPECT_TRUE(panel == nullptr || !panel->visible);
    }
    for (const bool visible : maker.releasedVisible) {
        EXPECT_FALSE(visible) << "a panel is ordered out before it goes";
    }
}

TEST_F(OverlayTest, DesktopPanelFollowsTheBarItFindsOrHidesWithoutOne) {
    struct Row {
        const char* scene;
        std::function<void(FakeWindowServer&)> compose;
        double alpha;
        double y;
    };
    const Row rows[] = {
        {"hidden bar, none listed", [](auto& s) { s.cover(kMain, true), s.finder(kMain, true); }, 0, 958},
        {"bar sliding up by 10", [](auto& s) { s.menuBar(kMain, -10), s.finder(kMain, true); }, 1, 968},
        {"bar lower than the top", [](auto& s) { s.menuBar(kMain, 0), s.finder(kMain, true); }, 1, 958},
        {"no Finder desktop listed", [](auto&) {}, 1, 958},
    };
    for (const auto& row : rows) {
        server.windows.clear();
        row.compose(server);
        overlay.setStyle(Style::rainbow());
        overlay.update();
        ASSERT_TRUE(overlay.panels()[1].desktop) << row.scene;
        const auto& desktop = fake(overlay.panels()[1].desktop);
        EXPECT_EQ(desktop.alpha, row.alpha) << row.scene;
        EXPECT_EQ(desktop.rect.origin.y, row.y) << row.scene;
    }
}

TEST_F(OverlayTest, DesktopLogoMovesToTheActiveDesktopOnlyWhenOneIsShown) {
    server.menuBar(kMain, 0);
    server.finder(kMain, true);
    overlay.setStyle(Style::rainbow());
    overlay.update();
    const auto* first = overlay.panels()[1].desktop.get();
    sink->records.clear();

    // Still on its space: kept.
    overlay.placeDesktopLogo(screens.list[0], SpaceKind::desktop(), true);
    EXPECT_EQ(overlay.panels()[1].desktop.get(), first);
    // Another desktop became active: a new panel there, the old one out.
    maker.activeSpace = 1;
    overlay.placeDesktopLogo(screens.list[0], SpaceKind::fullScreen(CoverState::onScreen), true);
    EXPECT_EQ(overlay.panels()[1].desktop.get(), first) << "not on a full-screen space";
    overlay.placeDesktopLogo(screens.list[0], SpaceKind::unknown(), true);
    EXPECT_EQ(overlay.panels()[1].desktop.get(), first) << "the Finder desktop is listed, so unknown is no desktop";
    overlay.placeDesktopLogo(screens.list[0], SpaceKind::desktopBarHidden(), false);
    ASSERT_NE(overlay.panels()[1].desktop.get(), first);
    EXPECT_TRUE(maker.made[0] == nullptr || !maker.made[0]->visible);
    EXPECT_TRUE(fake(overlay.panels()[1].desktop).visible);
    EXPECT_EQ(logged(), (std::vector<std::string>{"Desktop logo placed on the active desktop (display 1)"}));

    // Without a Finder desktop, a strict placement takes unknown for a desktop.
    server.windows.clear();
    overlay.refreshDesktopPlacement();
    maker.activeSpace = 2;
    overlay.placeDesktopLogo(screens.list[0], SpaceKind::unknown(), false);
    EXPECT_EQ(fake(overlay.panels()[1].desktop).space, 1);
    overlay.placeDesktopLogo(screens.list[0], SpaceKind::unknown(), true);
    EXPECT_EQ(fake(overlay.panels()[1].desktop).space, 2);
}

TEST_F(OverlayTest, ScreenChangesRebuildOnTheLoop) {
    overlay.setStyle(Style::rainbow());
    screens.list = {screenAt(1, kMain), screenAt(2, kSideCocoa)};
    screens.change();
    EXPECT_TRUE(overlay.panels().empty()) << "not inside the notification";
    loop.runUntilIdle();
    EXPECT_EQ(overlay.panels().size(), 2U);
    server.unavailable = true;
    screens.change();
    loop.runUntilIdle();
    EXPECT_TRUE(overlay.panels()[1].desktop) << "no list and no Finder desktop: taken for a desktop";
}

}  // namespace
}  // namespace lidora::testing
