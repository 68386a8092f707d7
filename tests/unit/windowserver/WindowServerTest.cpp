#include <gtest/gtest.h>

#include <algorithm>

#include "platform/windowserver/WindowComposer.h"

namespace lidora::vmac {
namespace {

constexpr std::int64_t kMs = 1'000'000;
constexpr std::int64_t kNow = 1'000'000 * kMs;

// The default laptop display and, when asked, an HD monitor to its right.
struct Mac {
    explicit Mac(bool second = false) {
        if (second) {
            displays.displays.push_back({2, false, 0.5});
        }
        settleSpaces(state, displays);
    }
    DisplayStage& stage(DisplayID id = 1) { return *stageOf(state, id); }
    std::uint32_t fullScreen(const std::string& app, DisplayID id = 1) {
        const auto space = state.nextSpace++;
        state.spaces.push_back({space, id, app});
        switchSpace(state, stage(id), space, kNow - 1000 * kMs);
        return space;
    }
    // Owner, bounds and on-screen flag of each window, front to back.
    std::vector<std::string> list(std::int64_t now = kNow, const std::vector<AppPanels>& apps = {}) const {
        std::vector<std::string> rows;
        for (const auto& w : composeWindows(displays, state, apps, now)) {
            char row[128];
            std::snprintf(row, sizeof row, "%s %g,%g %gx%g %s", w.owner.c_str(), w.bounds.origin.x, w.bounds.origin.y,
                          w.bounds.size.width, w.bounds.size.height, w.onScreen ? "on" : "off");
            rows.emplace_back(row);
        }
        return rows;
    }
    DisplayRecords displays;
    WindowServerState state;
};

using Rows = std::vector<std::string>;

TEST(WindowServer, ListsWhatEachDisplayShows) {
    struct Row {
        const char* scene;
        std::function<void(Mac&)> play;
        std::int64_t at;
        Rows list;
    };
    const Row rows[] = {
        {"a desktop", [](Mac&) {}, kNow, {"Window Server 0,0 1512x37 on", "Finder 0,0 1512x982 on"}},
        {"a desktop whose bar hides",
         [](Mac& m) { m.state.autoHide = AutoHideSetting::always; },
         kNow,
         {"Window Server 0,-37 1512x37 off", "MenuBarAgent 0,0 1512x37 on", "Finder 0,0 1512x982 on"}},
        {"a full-screen app, bar hidden",
         [](Mac& m) { m.fullScreen("Safari"); },
         kNow,
         {"Window Server 0,-37 1512x37 off", "MenuBarAgent 0,0 1512x37 on", "Safari 0,0 1512x982 on",
          "Finder 0,0 1512x982 off"}},
        {"a full-screen app whose bar never hides",
         [](Mac& m) {
             m.state.autoHide = AutoHideSetting::never;
             m.fullScreen("Safari");
         },
         kNow,
         {"Window Server 0,0 1512x37 on", "MenuBarAgent 0,0 1512x37 off", "Safari 0,0 1512x982 on",
          "Finder 0,0 1512x982 off"}},
        {"entering full screen, a third of the way",
         [](Mac& m) {
             m.state.spaces.push_back({9, 1, "Safari"});
             switchSpace(m.state, m.stage(), 9, kNow - 100 * kMs);
         },
         kNow,
         {"Window Server 0,-37 1512x37 off", "MenuBarAgent 1008,0 1512x37 on", "Safari 0,0 1512x982 on",
          "Finder 0,0 1512x982 off"}},
        {"the pointer brought the bar halfway down",
         [](Mac& m) {
             m.fullScreen("Safari");
             movePointer(m.state, m.displays, {10, 0}, kNow - 125 * kMs);
         },
         kNow,
         {"Window Server 0,-18.5 1512x37 on", "MenuBarAgent 0,0 1512x37 off", "Safari 0,0 1512x982 on",
          "Finder 0,0 1512x982 off"}},
    };
    for (const auto& row : rows) {
        Mac mac;
        row.play(mac);
        EXPECT_EQ(mac.list(row.at), row.list) << row.scene;
    }
}

TEST(WindowServer, TheBarFollowsThePointerAndTurnsBackWhereItIs) {
    Mac mac;
    mac.state.autoHide = AutoHideSetting::always;
    const auto screen = screenLayout(mac.displays, mac.state).front();
    struct Step {
        Point pointer;
        std::int64_t at;
        double offsetAfter100ms;
    };
    const Step steps[] = {
        {{700, 300}, 0, -37},          // away: hidden
        {{700, 20}, 0, -37},           // on the bar's strip but not at the edge
        {{700, 0}, 0, -37 * 0.6},      // the edge: comes down
        {{700, 30}, 1000, 0},          // stays while on the bar
        {{700, 40}, 2000, -37 * 0.4},  // below it: goes up
    };
    for (const auto& step : steps) {
        movePointer(mac.state, mac.displays, step.pointer, kNow + step.at * kMs);
        EXPECT_NEAR(menuBarOffset(screen, mac.state, kNow + (step.at + 100) * kMs), step.offsetAfter100ms, 1e-6)
            << step.pointer.y;
    }
    // Back to the edge 100 ms into the slide up: down again from -14.8.
    movePointer(mac.state, mac.displays, {700, 0}, kNow + 2100 * kMs);
    EXPECT_NEAR(menuBarOffset(screen, mac.state, kNow + 2100 * kMs), -37 * 0.4, 1e-6);
    EXPECT_NEAR(menuBarOffset(screen, mac.state, kNow + 2150 * kMs), -37 * 0.2, 1e-6);
}

TEST(WindowServer, PanelsShowOnTheirSpaceOrEverywhere) {
    Mac mac(true);
    const auto desktop = mac.stage(1).active;
    const AppPanels app{42,
                        "Lidora",
                        {{1, 26, {{0, 945}, {54.3, 37}}, 1, 64, true, desktop, "rainbow"},
                         {2, 26, {{0, 945}, {54.3, 37}}, 1, 1 | 16 | 64 | 256, true, 0, "rainbow"},
                         {3, 26, {{1512, 956}, {54.3, 24}}, 0.5, 1, false, 0, "rainbow"}}};
    auto onScreen = [&] {
        std::vector<bool> on;
        for (const auto& w : composeWindows(mac.displays, mac.state, {app}, kNow)) {
            if (w.owner == "Lidora") {
                on.push_back(w.onScreen);
            }
        }
        return on;
    };
    EXPECT_EQ(onScreen(), (std::vector<bool>{true, true, false}));
    mac.fullScreen("Keynote");
    EXPECT_EQ(onScreen(), (std::vector<bool>{false, true, false}));
    EXPECT_EQ(composeWindows(mac.displays, mac.state, {app}, kNow).front().bounds, (Rect{{0, 0}, {54.3, 37}}));
}

TEST(WindowServer, SpacesFollowTheDisplaysAndBadStateIsRefused) {
    Mac mac(true);
    const auto space = mac.fullScreen("Safari", 2);
    mac.displays.displays.pop_back();
    settleSpaces(mac.state, mac.displays);
    EXPECT_EQ(findSpace(mac.state, space), nullptr);
    EXPECT_EQ(stageOf(mac.state, 2), nullptr);
    EXPECT_EQ(*decodeWindowServerState(encodeWindowServerState(mac.state)), mac.state);

    for (const auto* bad : {"[]", "{}", R"({"spaces": [], "stages": [], "pointer": [0, 0], "autoHide": 4,
                                            "nextSpace": 1})",
                            R"({"spaces": [{"id": 1}], "stages": [], "pointer": [0, 0], "autoHide": 0,
                                "nextSpace": 1})"}) {
        EXPECT_FALSE(decodeWindowServerState(bad)) << bad;
    }
}

}  // namespace
}  // namespace lidora::vmac
