#pragma once

#include <map>
#include <optional>
#include <set>

#include "core/overlay/AppleLogoOverlay.h"
#include "core/overlay/RevealRule.h"
#include "core/ports/UserDefaults.h"
#include "core/ports/Workspace.h"

namespace lidora {

struct RevealWatcherParts {
    RunLoop& loop;
    AppleLogoOverlay& overlay;
    Workspace& workspace;
    EventMonitors& events;
    UserDefaultsProvider& defaults;
    std::shared_ptr<LogSink> logSink;
};

// Keeps the classic logo in step with full-screen spaces and an
// auto-hiding menu bar: re-reads every display on space, screen and pointer
// changes, shows a display's reveal panel while its menu bar is revealed
// over a full-screen space, and polls the window list only as fast as the
// situation needs. Use on the run loop.
class FullScreenRevealWatcher {
public:
    explicit FullScreenRevealWatcher(RevealWatcherParts parts);
    FullScreenRevealWatcher(const FullScreenRevealWatcher&) = delete;
    FullScreenRevealWatcher& operator=(const FullScreenRevealWatcher&) = delete;

    // A second start only runs a pass.
    void start();
    // Puts the desktop logos back in place and forgets every display.
    void stop();
    // One pass over all displays.
    void evaluate();

    [[nodiscard]] bool running() const { return running_; }
    [[nodiscard]] const std::map<DisplayID, FullScreenRevealTracker>& trackers() const { return trackers_; }
    [[nodiscard]] const std::map<DisplayID, SpaceKind>& kinds() const { return kinds_; }
    [[nodiscard]] const std::map<DisplayID, bool>& revealVisible() const { return revealVisible_; }
    [[nodiscard]] const std::map<DisplayID, bool>& barMoving() const { return barMoving_; }
    [[nodiscard]] bool pointerNearTop() const { return pointerNearTop_; }
    [[nodiscard]] std::optional<MenuBarAutoHide> autoHide() const { return autoHide_; }
    [[nodiscard]] int settleAttemptsLeft() const { return settleAttemptsLeft_; }
    // The poll timer's interval; empty when it does not run.
    [[nodiscard]] std::optional<Duration> pollInterval() const { return pollInterval_; }

private:
    void pointerMoved();
    void evaluateScreen(const ScreenInfo& screen, const Rect& frame, const std::vector<WindowInfo>& windows);
    void schedulePollTimer();
    void scheduleSettleTimer();

    RevealWatcherParts parts_;
    Logger log_;
    bool running_ = false;
    std::map<DisplayID, FullScreenRevealTracker> trackers_;
    std::map<DisplayID, SpaceKind> kinds_;
    std::map<DisplayID, bool> revealVisible_;
    std::map<DisplayID, bool> barMoving_;
    std::set<DisplayID> sawBarHiddenOnDesktop_;
    bool pointerNearTop_ = false;
    std::optional<TimePoint> revealedAwaySince_;
    std::optional<MenuBarAutoHide> autoHide_;
    Cancellable pollTimer_;
    std::optional<Duration> pollInterval_;
    Cancellable settleTimer_;
    bool settlePending_ = false;
    int settleAttemptsLeft_ = 0;
    std::vector<Cancellable> observers_;
    std::vector<Cancellable> eventMonitors_;
};

}  // namespace lidora
