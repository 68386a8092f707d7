#pragma once

#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "core/overlay/LogoStyle.h"
#include "core/overlay/WindowInfo.h"
#include "core/ports/DisplayServices.h"
#include "core/ports/Panels.h"
#include "core/ports/RunLoop.h"
#include "core/ports/WindowServer.h"
#include "core/runtime/Logger.h"

namespace lidora {

// The two panels of a display: the desktop one lives on the desktop space
// that was active when it was ordered in, the reveal one joins every space.
struct ScreenPanels {
    std::unique_ptr<Panel> desktop;
    std::unique_ptr<Panel> reveal;
};

inline constexpr double kLogoPanelWidth = 54.3;

struct OverlayParts {
    RunLoop& loop;
    WindowServer& windowServer;
    Screens& screens;
    PanelMaker& panelMaker;
    std::shared_ptr<LogSink> logSink;
};

// The classic six-colour logo over the Apple-menu logo of every display,
// in small click-through panels just above the menu bar. One per app; use
// on the run loop.
class AppleLogoOverlay {
public:
    explicit AppleLogoOverlay(OverlayParts parts);
    AppleLogoOverlay(const AppleLogoOverlay&) = delete;
    AppleLogoOverlay& operator=(const AppleLogoOverlay&) = delete;

    // None: the classic logo is off and no panels exist.
    [[nodiscard]] const std::optional<Style>& style() const { return style_; }
    void setStyle(std::optional<Style> style) { style_ = style; }

    // Rebuilds every panel.
    void update();
    // Re-decides every display's desktop panel, keeping the reveal panels.
    void refreshDesktopPlacement();
    // Makes sure a desktop panel is on the active desktop of that screen.
    void placeDesktopLogo(const ScreenInfo& screen, const SpaceKind& kind, bool strict);
    // Moves the desktop panel down by `offset` (negative: up) and shows or hides it.
    void positionDesktopLogo(const ScreenInfo& screen, double offset, bool visible);
    double menuBarHeight(const ScreenInfo& screen);

    // Window-list helpers.
    [[nodiscard]] std::vector<WindowInfo> windowList(std::uint32_t options) const;
    [[nodiscard]] Rect quartzFrame(const ScreenInfo& screen) const;
    [[nodiscard]] static Rect quartzFrame(const ScreenInfo& screen, const std::vector<ScreenInfo>& all);
    [[nodiscard]] static DisplayID displayID(const ScreenInfo& screen);
    void refreshBarWindowHeights(const std::vector<WindowInfo>& windows);
    [[nodiscard]] bool desktopWindowListed(const Rect& frame, const std::vector<WindowInfo>& windows) const;
    [[nodiscard]] SpaceKind spaceKind(const Rect& frame, const std::vector<WindowInfo>& windows) const;
    [[nodiscard]] std::vector<WindowInfo> menuBarWindows(const Rect& frame,
                                                         const std::vector<WindowInfo>& windows) const;
    // (offset, none found).
    [[nodiscard]] std::pair<double, bool> menuBarOffset(const Rect& frame,
                                                        const std::vector<WindowInfo>& windows) const;

    [[nodiscard]] std::map<DisplayID, ScreenPanels>& panels() { return panels_; }
    [[nodiscard]] std::optional<bool> finderDesktopListed(DisplayID id) const;
    [[nodiscard]] Screens& screens() { return parts_.screens; }
    [[nodiscard]] std::int32_t mainMenuLevel() const { return mainMenuLevel_; }
    [[nodiscard]] std::int32_t desktopIconLevel() const { return desktopIconLevel_; }

private:
    enum class PanelKind { desktop, reveal };
    [[nodiscard]] std::unique_ptr<Panel> makePanel(const ScreenInfo& screen, PanelKind kind);

    OverlayParts parts_;
    std::int32_t mainMenuLevel_;
    std::int32_t desktopIconLevel_;
    std::map<DisplayID, ScreenPanels> panels_;
    std::map<DisplayID, double> menuBarHeights_;
    std::map<DisplayID, double> barWindowHeights_;
    std::map<DisplayID, bool> finderDesktopListed_;
    std::optional<Style> style_;
    Logger log_;
    Cancellable observer_;
};

}  // namespace lidora
