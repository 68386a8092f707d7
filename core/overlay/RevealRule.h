#pragma once

#include <optional>

#include "core/overlay/WindowInfo.h"
#include "core/ports/UserDefaults.h"

namespace lidora {

// The system's "AutoHideMenuBarOption": when the menu bar hides by itself.
enum class MenuBarAutoHide { always = 0, onDesktopOnly = 1, inFullScreenOnly = 2, never = 3 };

inline constexpr std::string_view kControlCenterDomain = "com.apple.controlcenter";
inline constexpr std::string_view kAutoHideMenuBarKey = "AutoHideMenuBarOption";

// Empty for a missing suite or key, a non-integer or a value outside 0…3.
std::optional<MenuBarAutoHide> readAutoHide(UserDefaultsProvider& defaults);

// What the watcher remembers of one display.
struct FullScreenRevealTracker {
    bool sawCoverOnScreen = false;  // a full-screen space's cover was seen on screen
    bool afterSlide = false;        // a slide was seen, its end is awaited
    bool hadReading = false;        // the display was classified before
    friend bool operator==(const FullScreenRevealTracker&, const FullScreenRevealTracker&) = default;
};

struct RevealInputs {
    SpaceKind kind;
    FullScreenRevealTracker tracker;
    bool finderDesktopListed = false;
    // Whether the display's desktop panel is on the active space; empty
    // when it has none.
    std::optional<bool> desktopOnActiveSpace;
    std::optional<MenuBarAutoHide> autoHide;
    bool hasStyle = false;
};

struct RevealDecision {
    bool shown = false;
    FullScreenRevealTracker tracker;
    friend bool operator==(const RevealDecision&, const RevealDecision&) = default;
};

// Whether a display's reveal panel is shown, and what is remembered: off
// while a full-screen space's cover lies on screen, on once it has gone,
// and after a slide as the auto-hide setting says.
RevealDecision decideReveal(const RevealInputs& in);

}  // namespace lidora
