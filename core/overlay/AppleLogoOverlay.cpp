#include "core/overlay/AppleLogoOverlay.h"

namespace lidora {

namespace {

constexpr std::int32_t kAboveMenuBar = 2;
// A shown menu bar leaves this much more between the frame and the
// visible frame than its own height.
constexpr double kVisibleFrameGap = 1.0;

}  // namespace

AppleLogoOverlay::AppleLogoOverlay(OverlayParts parts)
    : parts_(std::move(parts)),
      mainMenuLevel_(parts_.windowServer.windowLevelForKey(kCGMainMenuWindowLevelKey)),
      desktopIconLevel_(parts_.windowServer.windowLevelForKey(kCGDesktopIconWindowLevelKey)),
      log_(parts_.logSink, std::string(kLogSubsystem), "overlay") {
    // The overlay lives as long as the app, so the handler may use it.
    observer_ = parts_.screens.observeScreenParameters([this] { parts_.loop.post([this] { update(); }); });
}

std::optional<bool> AppleLogoOverlay::finderDesktopListed(DisplayID id) const {
    const auto found = finderDesktopListed_.find(id);
    return found == finderDesktopListed_.end() ? std::nullopt : std::optional<bool>(found->second);
}

double AppleLogoOverlay::menuBarHeight(const ScreenInfo& screen) {
    const auto id = displayID(screen);
    const double gap = screen.frame.maxY() - screen.visibleFrame.maxY();
    double height = 0;
    if (const auto bar = barWindowHeights_.find(id); bar != barWindowHeights_.end()) {
        height = bar->second;
    } else if (gap > kVisibleFrameGap) {
        height = gap - kVisibleFrameGap;
    } else if (const auto last = menuBarHeights_.find(id); last != menuBarHeights_.end()) {
        height = last->second;
    } else {
        height = screen.safeAreaTop > 0 ? screen.safeAreaTop : parts_.screens.statusBarThickness();
    }
    menuBarHeights_[id] = height;
    return height;
}

std::unique_ptr<Panel> AppleLogoOverlay::makePanel(const ScreenInfo& screen, PanelKind kind) {
    const double height = menuBarHeight(screen);
    PanelSettings settings;
    settings.contentRect = Rect{{screen.frame.minX(), screen.frame.maxY() - height}, {kLogoPanelWidth, height}};
    settings.level = mainMenuLevel_ + kAboveMenuBar;
    settings.collectionBehavior = kind == PanelKind::desktop
                                      ? CollectionBehavior::ignoresCycle
                                      : CollectionBehavior::canJoinAllSpaces | CollectionBehavior::stationary |
                                            CollectionBehavior::ignoresCycle | CollectionBehavior::fullScreenAuxiliary;
    settings.ignoresMouseEvents = true;
    if (style_) {
        settings.content = LogoContent{*style_, Placement{}};
    }
    return parts_.panelMaker.makePanel(settings);
}

void AppleLogoOverlay::update() {
    for (auto& [id, entry] : panels_) {
        if (entry.desktop) {
            entry.desktop->orderOut();
        }
        entry.reveal->orderOut();
    }
    panels_.clear();
    if (!style_) {
        return;
    }
    const auto all = windowList(kCGWindowListOptionAll);
    std::vector<WindowInfo> onScreen;
    for (const auto& window : all) {
        if (window.isOnScreen) {
            onScreen.push_back(window);
        }
    }
    refreshBarWindowHeights(onScreen);
    const auto screens = parts_.screens.screens();
    for (const auto& screen : screens) {
        const auto frame = quartzFrame(screen, screens);
        const auto id = displayID(screen);
        const bool listed = desktopWindowListed(frame, all);
        finderDesktopListed_[id] = listed;
        auto kind = spaceKind(frame, onScreen);
        if (!listed && kind.isUnknown()) {
            kind = SpaceKind::desktop();
        }
        ScreenPanels entry;
        if (kind.isDesktop() || kind.isDesktopBarHidden()) {
            entry.desktop = makePanel(screen, PanelKind::desktop);
            entry.desktop->orderFrontRegardless();
        }
        entry.reveal = makePanel(screen, PanelKind::reveal);
        panels_[id] = std::move(entry);
        const auto [offset, none] = menuBarOffset(frame, onScreen);
        if (none) {
            positionDesktopLogo(screen, 0, !kind.isDesktopBarHidden());
        } else {
            positionDesktopLogo(screen, std::min(offset, 0.0), true);
        }
        log_.notice("Overlay built for display %{public}u: %{public}s", id, kind.description());
    }
}

void AppleLogoOverlay::refreshDesktopPlacement() {
    if (!style_) {
        return;
    }
    const auto all = windowList(kCGWindowListOptionAll);
    refreshBarWindowHeights(all);
    std::vector<WindowInfo> onScreen;
    for (const auto& window : all) {
        if (window.isOnScreen) {
            onScreen.push_back(window);
        }
    }
    const auto screens = parts_.screens.screens();
    for (const auto& screen : screens) {
        const auto frame = quartzFrame(screen, screens);
        finderDesktopListed_[displayID(screen)] = desktopWindowListed(frame, all);
        placeDesktopLogo(screen, spaceKind(frame, onScreen), true);
    }
}

void AppleLogoOverlay::placeDesktopLogo(const ScreenInfo& screen, const SpaceKind& kind, bool strict) {
    const auto id = displayID(screen);
    const auto entry = panels_.find(id);
    if (!style_ || entry == panels_.end()) {
        return;
    }
    const bool desktopLike = kind.isDesktop() || kind.isDesktopBarHidden();
    const auto listed = finderDesktopListed(id);
    // Without a Finder desktop to tell a desktop by, an unreadable space is
    // taken for one.
    const bool wanted = strict && listed == false ? desktopLike || kind.isUnknown() : desktopLike;
    if (!wanted) {
        return;
    }
    auto& desktop = entry->second.desktop;
    if (desktop && desktop->isOnActiveSpace()) {
        return;
    }
    if (desktop) {
        desktop->orderOut();
    }
    desktop = makePanel(screen, PanelKind::desktop);
    desktop->orderFrontRegardless();
    log_.notice("Desktop logo placed on the active desktop (display %{public}u)", id);
}

void AppleLogoOverlay::positionDesktopLogo(const ScreenInfo& screen, double offset, bool visible) {
    const auto entry = panels_.find(displayID(screen));
    if (!style_ || entry == panels_.end() || !entry->second.desktop) {
        return;
    }
    auto& panel = *entry->second.desktop;
    const double alpha = visible ? 1.0 : 0.0;
    if (panel.alphaValue() != alpha) {
        panel.setAlphaValue(alpha);
    }
    const auto frame = panel.frame();
    const double y = screen.frame.maxY() - frame.size.height - offset;
    if (frame.origin.y != y) {
        panel.setFrameOrigin(Point{frame.origin.x, y});
    }
}

}  // namespace lidora
