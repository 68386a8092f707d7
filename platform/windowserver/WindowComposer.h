#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/windowserver/PanelRegistry.h"
#include "platform/windowserver/WindowServerState.h"

namespace lidora::vmac {

inline constexpr std::int32_t kMainMenuWindowLevel = 24;
inline constexpr std::int32_t kDesktopIconWindowLevel = -2147483607;  // kCGDesktopWindowLevel + 20
inline constexpr double kStatusBarThickness = 24;

// One display as the window server lays it out.
struct ScreenLayout {
    DisplayID id = 0;
    Rect quartz;        // top-left origin on the primary display
    Rect frame;         // bottom-left origin, as NSScreen gives it
    Rect visibleFrame;  // without a shown menu bar and the point beneath it
    double menuBarHeight = 0;
    double notch = 0;
};

// One window of the list, front to back.
struct ComposedWindow {
    std::string owner;
    pid_t pid = 0;
    std::int32_t layer = 0;
    Rect bounds;  // Quartz
    bool onScreen = false;
    double alpha = 1;
    std::string content;  // a panel's drawing
};

std::vector<ScreenLayout> screenLayout(const DisplayRecords& displays, const WindowServerState& state);

// How far the display's menu bar window lies above its top edge (≤ 0).
double menuBarOffset(const ScreenLayout& screen, const WindowServerState& state, std::int64_t now);

// The list CGWindowListCopyWindowInfo gives at `now`; `state` settled.
std::vector<ComposedWindow> composeWindows(const DisplayRecords& displays, const WindowServerState& state,
                                           const std::vector<AppPanels>& apps, std::int64_t now);

// The display under a point in Quartz coordinates; 0 for none.
DisplayID displayAt(const std::vector<ScreenLayout>& screens, Point quartz);
// A Cocoa rectangle in Quartz coordinates.
Rect toQuartz(const Rect& cocoa, const std::vector<ScreenLayout>& screens);

}  // namespace lidora::vmac
