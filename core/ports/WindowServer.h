#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "core/ports/Geometry.h"
#include "core/prefs/PreferenceValue.h"
#include "core/runtime/Cancellable.h"

namespace lidora {

// CGWindowListCopyWindowInfo's options.
inline constexpr std::uint32_t kCGWindowListOptionAll = 0;
inline constexpr std::uint32_t kCGWindowListOptionOnScreenOnly = 1;

// Keys of one window's dictionary; the bounds are a dictionary of "X",
// "Y", "Width" and "Height", top-left origin on the primary display.
inline constexpr const char* kCGWindowBounds = "kCGWindowBounds";
inline constexpr const char* kCGWindowOwnerName = "kCGWindowOwnerName";
inline constexpr const char* kCGWindowLayer = "kCGWindowLayer";
inline constexpr const char* kCGWindowIsOnscreen = "kCGWindowIsOnscreen";
inline constexpr const char* kCGWindowAlpha = "kCGWindowAlpha";

// CGWindowLevelForKey's keys.
inline constexpr int kCGMainMenuWindowLevelKey = 8;
inline constexpr int kCGDesktopIconWindowLevelKey = 18;

// The window server as CoreGraphics shows it.
class WindowServer {
public:
    virtual ~WindowServer() = default;

    // CGWindowListCopyWindowInfo with no relative window, front to back;
    // empty when the list cannot be had.
    [[nodiscard]] virtual std::optional<std::vector<PreferenceDictionary>> copyWindowInfo(
        std::uint32_t options) const = 0;
    [[nodiscard]] virtual std::int32_t windowLevelForKey(int key) const = 0;
};

// One NSScreen.
struct ScreenInfo {
    Rect frame;         // global, bottom-left origin on the primary display
    Rect visibleFrame;  // without the menu bar (and a point beneath it)
    double safeAreaTop = 0;
    // deviceDescription; "NSScreenNumber" is the display's id.
    PreferenceDictionary deviceDescription;
};

// NSScreen.screens, NSStatusBar's thickness and the application's
// did-change-screen-parameters notification.
class Screens {
public:
    virtual ~Screens() = default;

    // The primary screen first.
    [[nodiscard]] virtual std::vector<ScreenInfo> screens() const = 0;
    [[nodiscard]] virtual double statusBarThickness() const = 0;
    // Delivered on the run loop.
    [[nodiscard]] virtual Cancellable observeScreenParameters(std::function<void()> handler) = 0;
};

inline constexpr std::uint64_t kNSEventMaskMouseMoved = 32;

// NSEvent's monitors and pointer location.
class EventMonitors {
public:
    virtual ~EventMonitors() = default;

    // Events of other applications, and of this one; both on the run loop.
    [[nodiscard]] virtual Cancellable addGlobalMonitor(std::uint64_t mask, std::function<void()> handler) = 0;
    [[nodiscard]] virtual Cancellable addLocalMonitor(std::uint64_t mask, std::function<void()> handler) = 0;
    // Global, bottom-left origin.
    [[nodiscard]] virtual Point mouseLocation() const = 0;
};

}  // namespace lidora
