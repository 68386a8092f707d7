#pragma once

#include <optional>
#include <string>
#include <variant>

#include "core/ports/Geometry.h"
#include "core/prefs/PreferenceValue.h"

namespace lidora {

// One entry of the system window list.
struct WindowInfo {
    std::string owner;
    std::int64_t layer = 0;
    Rect bounds;  // global, top-left origin on the primary display
    bool isOnScreen = false;

    // Empty when the bounds are missing or not a rectangle; the other keys
    // fall back to empty, 0 and false.
    static std::optional<WindowInfo> from(const PreferenceDictionary& entry);
    friend bool operator==(const WindowInfo&, const WindowInfo&) = default;
};

// Whether a full-screen space's menu-bar cover lies over the top strip.
enum class CoverState { onScreen, offScreen };

// What a display shows, as read from the window list.
struct SpaceKind {
    struct FullScreen {
        CoverState cover;
        friend bool operator==(const FullScreen&, const FullScreen&) = default;
    };
    struct Desktop {
        friend bool operator==(const Desktop&, const Desktop&) = default;
    };
    struct DesktopBarHidden {
        friend bool operator==(const DesktopBarHidden&, const DesktopBarHidden&) = default;
    };
    struct Transitioning {
        friend bool operator==(const Transitioning&, const Transitioning&) = default;
    };
    struct Unknown {
        friend bool operator==(const Unknown&, const Unknown&) = default;
    };
    std::variant<FullScreen, Desktop, DesktopBarHidden, Transitioning, Unknown> value;

    static SpaceKind fullScreen(CoverState cover) { return {FullScreen{cover}}; }
    static SpaceKind desktop() { return {Desktop{}}; }
    static SpaceKind desktopBarHidden() { return {DesktopBarHidden{}}; }
    static SpaceKind transitioning() { return {Transitioning{}}; }
    static SpaceKind unknown() { return {Unknown{}}; }

    [[nodiscard]] bool isFullScreen() const { return std::holds_alternative<FullScreen>(value); }
    [[nodiscard]] bool isDesktop() const { return std::holds_alternative<Desktop>(value); }
    [[nodiscard]] bool isDesktopBarHidden() const { return std::holds_alternative<DesktopBarHidden>(value); }
    [[nodiscard]] bool isTransitioning() const { return std::holds_alternative<Transitioning>(value); }
    [[nodiscard]] bool isUnknown() const { return std::holds_alternative<Unknown>(value); }
    // "fullScreen(onScreen)", "desktop", … by case names.
    [[nodiscard]] std::string description() const;
    friend bool operator==(const SpaceKind&, const SpaceKind&) = default;
};

}  // namespace lidora
