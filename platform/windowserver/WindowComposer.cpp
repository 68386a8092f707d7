#include "platform/windowserver/WindowComposer.h"

#include <algorithm>

namespace lidora::vmac {

namespace {

// A shown menu bar leaves a point beneath it out of the visible frame.
constexpr double kVisibleFrameGap = 1;

bool activeIsFullScreen(const WindowServerState& state, const DisplayStage& stage) {
    const auto* space = findSpace(state, stage.active);
    return space != nullptr && space->isFullScreen();
}

}  // namespace

std::vector<ScreenLayout> screenLayout(const DisplayRecords& displays, const WindowServerState& state) {
    std::vector<ScreenLayout> screens;
    const auto geometry = resolvedGeometry(displays);
    const double primaryHeight = geometry.empty() ? 0 : geometry.front().height;
    for (std::size_t i = 0; i < geometry.size(); ++i) {
        const auto& g = geometry[i];
        ScreenLayout screen;
        screen.id = displays.displays[i].id;
        screen.quartz = {{g.x, g.y}, {g.width, g.height}};
        screen.frame = {{g.x, primaryHeight - (g.y + g.height)}, {g.width, g.height}};
        screen.visibleFrame = screen.frame;
        if (!barHiddenBySetting(state.autoHide, false)) {
            screen.visibleFrame.size.height -= g.menuBarHeight + kVisibleFrameGap;
        }
        screen.menuBarHeight = g.menuBarHeight;
        screen.notch = g.notch;
        screens.push_back(screen);
    }
    return screens;
}

double menuBarOffset(const ScreenLayout& screen, const WindowServerState& state, std::int64_t now) {
    const auto* stage = stageOf(state, screen.id);
    if (stage == nullptr || !barHiddenBySetting(state.autoHide, activeIsFullScreen(state, *stage))) {
        return 0;
    }
    const double done = progress(stage->revealChangedAt, kMenuBarSlideNs, now);
    return stage->revealed ? -screen.menuBarHeight * (1 - done) : -screen.menuBarHeight * done;
}

DisplayID displayAt(const std::vector<ScreenLayout>& screens, Point quartz) {
    for (const auto& screen : screens) {
        const auto& q = screen.quartz;
        if (q.minX() <= quartz.x && quartz.x < q.maxX() && q.minY() <= quartz.y && quartz.y < q.maxY()) {
            return screen.id;
        }
    }
    return 0;
}

Rect toQuartz(const Rect& cocoa, const std::vector<ScreenLayout>& screens) {
    const double primaryHeight = screens.empty() ? 0 : screens.front().frame.size.height;
    return {{cocoa.minX(), primaryHeight - cocoa.maxY()}, cocoa.size};
}

std::vector<ComposedWindow> composeWindows(const DisplayRecords& displays, const WindowServerState& state,
                                           const std::vector<AppPanels>& apps, std::int64_t now) {
    std::vector<ComposedWindow> windows;
    const auto screens = screenLayout(displays, state);
    for (const auto& app : apps) {
        for (const auto& panel : app.panels) {
            const auto bounds = toQuartz(panel.frame, screens);
            const auto display = displayAt(screens, {bounds.midX(), bounds.midY()});
            const auto* stage = stageOf(state, display);
            const bool everywhere = (panel.collectionBehavior & 1U) != 0;
            const bool here = everywhere || (stage != nullptr && stage->active == panel.space);
            windows.push_back(
                {app.owner, app.pid, panel.level, bounds, panel.orderedIn && here, panel.alpha, panel.content});
        }
    }
    for (const auto& screen : screens) {
        const auto* stage = stageOf(state, screen.id);
        if (stage == nullptr) {
            continue;
        }
        const auto& r = screen.quartz;
        const double h = screen.menuBarHeight;
        const bool fullScreen = activeIsFullScreen(state, *stage);
        const bool hiddenBySetting = barHiddenBySetting(state.autoHide, fullScreen);
        const double offset = menuBarOffset(screen, state, now);
        const double switching = progress(stage->switchedAt, kSpaceSwitchNs, now);
        const bool barOut = offset <= -h;
        windows.push_back({"Window Server",
                           0,
                           kMainMenuWindowLevel,
                           {{r.minX(), r.minY() + offset}, {r.size.width, h}},
                           !barOut,
                           1,
                           ""});
        if (switching < 1 && (fullScreen || !stage->previousApp.empty())) {
            // The covers of the spaces coming and going slide sideways.
            const double width = r.size.width * stage->direction;
            if (fullScreen) {
                windows.push_back({"MenuBarAgent",
                                   0,
                                   kMainMenuWindowLevel,
                                   {{r.minX() + (1 - switching) * width, r.minY()}, {r.size.width, h}},
                                   true,
                                   1,
                                   ""});
            }
            if (!stage->previousApp.empty()) {
                windows.push_back({"MenuBarAgent",
                                   0,
                                   kMainMenuWindowLevel,
                                   {{r.minX() - switching * width, r.minY()}, {r.size.width, h}},
                                   true,
                                   1,
                                   ""});
            }
        } else if (fullScreen || hiddenBySetting) {
            windows.push_back({"MenuBarAgent",
                               0,
                               kMainMenuWindowLevel,
                               {r.origin, {r.size.width, h}},
                               hiddenBySetting && barOut,
                               1,
                               ""});
        }
        for (const auto& space : state.spaces) {
            if (space.display == screen.id && space.isFullScreen()) {
                windows.push_back({space.app, 0, 0, r, space.id == stage->active, 1, ""});
            }
        }
        windows.push_back({"Finder", 0, kDesktopIconWindowLevel, r, !fullScreen, 1, ""});
    }
    std::stable_sort(windows.begin(), windows.end(),
                     [](const ComposedWindow& a, const ComposedWindow& b) { return a.layer > b.layer; });
    return windows;
}

}  // namespace lidora::vmac
