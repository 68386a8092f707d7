#include "core/overlay/FullScreenRevealWatcher.h"

#include <algorithm>

namespace lidora {

namespace {

using Seconds = std::chrono::duration<double>;

constexpr int kSettlePasses = 8;
constexpr Duration kSettleInterval = std::chrono::milliseconds(250);
constexpr Duration kMovingBarPoll = std::chrono::duration_cast<Duration>(Seconds(1.0 / 120));
constexpr Duration kFollowPoll = std::chrono::duration_cast<Duration>(Seconds(1.0 / 60));
constexpr Duration kWaitingPoll = std::chrono::milliseconds(250);
constexpr Duration kHiddenBarDesktopPoll = std::chrono::seconds(1);
constexpr Duration kRecentlyRevealed = std::chrono::seconds(5);
// Below the menu bar, still counted as reaching for it.
constexpr double kPointerReach = 8.0;

}  // namespace

FullScreenRevealWatcher::FullScreenRevealWatcher(RevealWatcherParts parts)
    : parts_(std::move(parts)), log_(parts_.logSink, std::string(kLogSubsystem), "overlay") {}

// Handlers and timers are cancelled when the watcher goes, so they use it freely.

void FullScreenRevealWatcher::start() {
    if (running_) {
        evaluate();
        return;
    }
    running_ = true;
    autoHide_ = readAutoHide(parts_.defaults);
    observers_.push_back(parts_.workspace.observeActiveSpaceDidChange([this] {
        parts_.overlay.refreshDesktopPlacement();
        autoHide_ = readAutoHide(parts_.defaults);
        settleAttemptsLeft_ = kSettlePasses;
        evaluate();
    }));
    observers_.push_back(parts_.overlay.screens().observeScreenParameters([this] {
        // After the overlay has rebuilt its panels for the new screens.
        parts_.loop.post([this] {
            autoHide_ = readAutoHide(parts_.defaults);
            settleAttemptsLeft_ = kSettlePasses;
            evaluate();
        });
    }));
    eventMonitors_.push_back(parts_.events.addGlobalMonitor(kNSEventMaskMouseMoved, [this] { pointerMoved(); }));
    eventMonitors_.push_back(parts_.events.addLocalMonitor(kNSEventMaskMouseMoved, [this] { pointerMoved(); }));
    settleAttemptsLeft_ = kSettlePasses;
    evaluate();
}

void FullScreenRevealWatcher::stop() {
    if (!running_) {
        return;
    }
    running_ = false;
    observers_.clear();
    eventMonitors_.clear();
    pollTimer_.cancel();
    pollInterval_.reset();
    settleTimer_.cancel();
    settlePending_ = false;
    if (parts_.overlay.style()) {
        auto& panels = parts_.overlay.panels();
        for (const auto& screen : parts_.overlay.screens().screens()) {
            const auto entry = panels.find(AppleLogoOverlay::displayID(screen));
            if (entry == panels.end()) {
                continue;
            }
            entry->second.reveal->orderOut();
            if (auto& desktop = entry->second.desktop) {
                if (desktop->alphaValue() != 1.0) {
                    desktop->setAlphaValue(1.0);
                }
                const auto frame = desktop->frame();
                const double top = screen.frame.maxY() - frame.size.height;
                if (frame.origin.y != top) {
                    desktop->setFrameOrigin(Point{frame.origin.x, top});
                }
            }
        }
    }
    trackers_.clear();
    kinds_.clear();
    revealVisible_.clear();
    barMoving_.clear();
    sawBarHiddenOnDesktop_.clear();
    pointerNearTop_ = false;
    revealedAwaySince_.reset();
    settleAttemptsLeft_ = 0;
}

void FullScreenRevealWatcher::pointerMoved() {
    const auto location = parts_.events.mouseLocation();
    bool nearTop = false;
    for (const auto& screen : parts_.overlay.screens().screens()) {
        const auto& f = screen.frame;
        if (f.minX() <= location.x && location.x < f.maxX() && location.y <= f.maxY() &&
            location.y >= f.maxY() - parts_.overlay.menuBarHeight(screen) - kPointerReach) {
            nearTop = true;
            break;
        }
    }
    if (nearTop == pointerNearTop_) {
        return;
    }
    pointerNearTop_ = nearTop;
    if (nearTop) {
        autoHide_ = readAutoHide(parts_.defaults);
    }
    if (running_) {
        evaluate();
    }
}

void FullScreenRevealWatcher::evaluate() {
    if (!running_) {
        return;
    }
    const auto screens = parts_.overlay.screens().screens();
    std::set<DisplayID> ids;
    for (const auto& screen : screens) {
        ids.insert(AppleLogoOverlay::displayID(screen));
    }
    auto forgetGone = [&](auto& byDisplay) {
        std::erase_if(byDisplay, [&](const auto& entry) { return !ids.contains(entry.first); });
    };
    forgetGone(trackers_);
    forgetGone(kinds_);
    forgetGone(revealVisible_);
    forgetGone(barMoving_);
    std::erase_if(sawBarHiddenOnDesktop_, [&](DisplayID id) { return !ids.contains(id); });

    const auto windows = parts_.overlay.windowList(kCGWindowListOptionOnScreenOnly);
    parts_.overlay.refreshBarWindowHeights(windows);
    for (const auto& screen : screens) {
        evaluateScreen(screen, AppleLogoOverlay::quartzFrame(screen, screens), windows);
    }
    schedulePollTimer();
    scheduleSettleTimer();
}

void FullScreenRevealWatcher::evaluateScreen(const ScreenInfo& screen, const Rect& frame,
                                             const std::vector<WindowInfo>& windows) {
    auto& overlay = parts_.overlay;
    const auto id = AppleLogoOverlay::displayID(screen);
    const auto kind = overlay.spaceKind(frame, windows);
    const auto tracker = trackers_[id];
    overlay.placeDesktopLogo(screen, kind, !tracker.sawCoverOnScreen);

    auto& panels = overlay.panels();
    const auto entry = panels.find(id);
    std::optional<bool> desktopOnActiveSpace;
    if (entry != panels.end() && entry->second.desktop) {
        desktopOnActiveSpace = entry->second.desktop->isOnActiveSpace();
    }
    const auto decision = decideReveal({.kind = kind,
                                        .tracker = tracker,
                                        .finderDesktopListed = overlay.finderDesktopListed(id).value_or(false),
                                        .desktopOnActiveSpace = desktopOnActiveSpace,
                                        .autoHide = autoHide_,
                                        .hasStyle = overlay.style().has_value()});
    trackers_[id] = decision.tracker;
    if (kind.isDesktopBarHidden()) {
        sawBarHiddenOnDesktop_.insert(id);
    }
    if (const auto last = kinds_.find(id); last == kinds_.end() || last->second != kind) {
        autoHide_ = readAutoHide(parts_.defaults);
        log_.notice("Display %{public}u: %{public}s", id, kind.description());
        kinds_[id] = kind;
    }
    if (const auto last = revealVisible_.find(id); last == revealVisible_.end() || last->second != decision.shown) {
        log_.notice("Display %{public}u: full-screen logo %{public}s", id, decision.shown ? "shown" : "hidden");
        revealVisible_[id] = decision.shown;
    }
    if (overlay.style() && entry != panels.end()) {
        if (decision.shown) {
            entry->second.reveal->orderFrontRegardless();
        } else {
            entry->second.reveal->orderOut();
        }
    }
    const auto [offset, none] = overlay.menuBarOffset(frame, windows);
    barMoving_[id] = !none && offset < 0;
    overlay.positionDesktopLogo(screen, none ? 0.0 : std::min(offset, 0.0), !none || !kind.isDesktopBarHidden());
}

void FullScreenRevealWatcher::schedulePollTimer() {
    const bool hasStyle = parts_.overlay.style().has_value();
    bool fullScreenInterest = false;
    bool desktopInterest = false;
    bool barHiddenDesktop = false;
    for (const auto& [id, kind] : kinds_) {
        const auto tracker = trackers_.find(id);
        const bool sawCover = tracker != trackers_.end() && tracker->second.sawCoverOnScreen;
        fullScreenInterest =
            fullScreenInterest || kind.isFullScreen() || ((kind.isTransitioning() || kind.isUnknown()) && sawCover);
        desktopInterest = desktopInterest ||
                          (autoHide_ == MenuBarAutoHide::always && (kind.isDesktop() || kind.isDesktopBarHidden()));
        barHiddenDesktop = barHiddenDesktop || (hasStyle && kind.isDesktopBarHidden());
    }
    bool followed = (fullScreenInterest || desktopInterest) && hasStyle;
    const bool revealShown =
        std::any_of(revealVisible_.begin(), revealVisible_.end(), [](const auto& entry) { return entry.second; });
    const bool hiddenBarDesktopShown =
        autoHide_ == MenuBarAutoHide::always && std::any_of(kinds_.begin(), kinds_.end(), [&](const auto& entry) {
            return entry.second.isDesktop() && sawBarHiddenOnDesktop_.contains(entry.first);
        });
    const auto now = parts_.loop.now();
    if (revealShown || hiddenBarDesktopShown) {
        if (pointerNearTop_) {
            revealedAwaySince_.reset();
        } else if (!revealedAwaySince_) {
            revealedAwaySince_ = now;
        }
    } else {
        followed = followed && pointerNearTop_;
        revealedAwaySince_.reset();
    }
    const bool recent = !revealedAwaySince_ || now - *revealedAwaySince_ < kRecentlyRevealed;
    std::optional<Duration> interval;
    if (std::any_of(barMoving_.begin(), barMoving_.end(), [](const auto& entry) { return entry.second; })) {
        interval = kMovingBarPoll;
    } else if (followed) {
        interval = pointerNearTop_ || recent ? kFollowPoll : kWaitingPoll;
    } else if (barHiddenDesktop) {
        interval = kHiddenBarDesktopPoll;
    }
    if (!interval) {
        pollTimer_.cancel();
        pollInterval_.reset();
        return;
    }
    if (pollInterval_ == interval && pollTimer_.holdsRegistration()) {
        return;
    }
    pollInterval_ = interval;
    pollTimer_ = parts_.loop.scheduleRepeating(*interval, [this] { evaluate(); });
}

void FullScreenRevealWatcher::scheduleSettleTimer() {
    if (settleAttemptsLeft_ <= 0 || settlePending_) {
        return;
    }
    settlePending_ = true;
    settleTimer_ = parts_.loop.scheduleAfter(kSettleInterval, [this] {
        settlePending_ = false;
        settleTimer_.detach();
        --settleAttemptsLeft_;
        evaluate();
    });
}

}  // namespace lidora
