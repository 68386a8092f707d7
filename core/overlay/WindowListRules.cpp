// The overlay's readings of the window list: which windows are a display's
// menu bar, its cover and its desktop, and what the display shows.
#include <algorithm>

#include "core/overlay/AppleLogoOverlay.h"

namespace lidora {

namespace {

constexpr double kMinBarHeight = 20;
constexpr double kMaxBarHeight = 60;

bool barHeight(const Rect& bounds) {
    return bounds.size.height >= kMinBarHeight && bounds.size.height <= kMaxBarHeight;
}

}  // namespace

std::vector<WindowInfo> AppleLogoOverlay::windowList(std::uint32_t options) const {
    std::vector<WindowInfo> windows;
    const auto entries = parts_.windowServer.copyWindowInfo(options);
    if (!entries) {
        return windows;
    }
    windows.reserve(entries->size());
    for (const auto& entry : *entries) {
        if (auto info = WindowInfo::from(entry)) {
            windows.push_back(std::move(*info));
        }
    }
    return windows;
}

DisplayID AppleLogoOverlay::displayID(const ScreenInfo& screen) {
    const auto found = screen.deviceDescription.find("NSScreenNumber");
    if (found == screen.deviceDescription.end()) {
        return 0;
    }
    const auto number = found->second.asInteger();
    return number && *number >= 0 && *number <= UINT32_MAX ? static_cast<DisplayID>(*number) : 0;
}

Rect AppleLogoOverlay::quartzFrame(const ScreenInfo& screen, const std::vector<ScreenInfo>& all) {
    const double primaryHeight = all.empty() ? screen.frame.size.height : all.front().frame.size.height;
    return Rect{{screen.frame.minX(), primaryHeight - screen.frame.maxY()}, screen.frame.size};
}

Rect AppleLogoOverlay::quartzFrame(const ScreenInfo& screen) const {
    return quartzFrame(screen, parts_.screens.screens());
}

bool AppleLogoOverlay::desktopWindowListed(const Rect& frame, const std::vector<WindowInfo>& windows) const {
    return std::any_of(windows.begin(), windows.end(), [&](const WindowInfo& window) {
        return window.owner == "Finder" && window.layer == desktopIconLevel_ && window.bounds == frame;
    });
}

std::vector<WindowInfo> AppleLogoOverlay::menuBarWindows(const Rect& frame,
                                                         const std::vector<WindowInfo>& windows) const {
    std::vector<WindowInfo> bars;
    for (const auto& window : windows) {
        const auto& b = window.bounds;
        if (window.owner == "Window Server" && window.layer == mainMenuLevel_ && window.isOnScreen &&
            b.minX() == frame.minX() && b.size.width == frame.size.width && barHeight(b) && b.minY() <= frame.minY() &&
            frame.minY() < b.maxY()) {
            bars.push_back(window);
        }
    }
    return bars;
}

void AppleLogoOverlay::refreshBarWindowHeights(const std::vector<WindowInfo>& windows) {
    const auto all = parts_.screens.screens();
    for (const auto& screen : all) {
        const auto bars = menuBarWindows(quartzFrame(screen, all), windows);
        const auto id = displayID(screen);
        if (bars.empty()) {
            barWindowHeights_.erase(id);
            continue;
        }
        double tallest = 0;
        for (const auto& bar : bars) {
            tallest = std::max(tallest, bar.bounds.size.height);
        }
        barWindowHeights_[id] = tallest;
    }
}

std::pair<double, bool> AppleLogoOverlay::menuBarOffset(const Rect& frame,
                                                        const std::vector<WindowInfo>& windows) const {
    const auto bars = menuBarWindows(frame, windows);
    if (bars.empty()) {
        return {0.0, true};
    }
    double offset = bars.front().bounds.minY() - frame.minY();
    for (const auto& bar : bars) {
        offset = std::max(offset, bar.bounds.minY() - frame.minY());
    }
    return {offset, false};
}

SpaceKind AppleLogoOverlay::spaceKind(const Rect& frame, const std::vector<WindowInfo>& windows) const {
    std::vector<const WindowInfo*> bars;
    bool desktopShown = false;
    for (const auto& window : windows) {
        const auto& b = window.bounds;
        if (window.owner == "MenuBarAgent" && window.layer == mainMenuLevel_ && b.minY() == frame.minY() &&
            b.size.width == frame.size.width && barHeight(b)) {
            bars.push_back(&window);
        }
        if (window.owner == "Finder" && window.layer == desktopIconLevel_ && b == frame && window.isOnScreen) {
            desktopShown = true;
        }
    }
    bool here = false;
    bool coverOnScreen = false;
    for (const auto* bar : bars) {
        if (bar->bounds.minX() == frame.minX()) {
            here = true;
            coverOnScreen = coverOnScreen || bar->isOnScreen;
        }
    }
    if (here) {
        if (coverOnScreen) {
            return desktopShown ? SpaceKind::desktopBarHidden() : SpaceKind::fullScreen(CoverState::onScreen);
        }
        return desktopShown ? SpaceKind::desktop() : SpaceKind::fullScreen(CoverState::offScreen);
    }
    if (std::any_of(bars.begin(), bars.end(), [&](const WindowInfo* bar) { return bar->bounds.intersects(frame); })) {
        return SpaceKind::transitioning();
    }
    return desktopShown ? SpaceKind::desktop() : SpaceKind::unknown();
}

}  // namespace lidora
