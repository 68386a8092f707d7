// vmac windows, vmac pointer, vmac menubar: the window list, the pointer
// and the menu bar's auto-hide, as the window server has them.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/bus/BusProtocol.h"
#include "platform/prefs/FileUserDefaults.h"
#include "platform/tools/vmac/Command.h"
#include "platform/tools/vmac/WindowServerChange.h"
#include "platform/windowserver/VirtualWindowServer.h"

namespace lidora::vmac {

namespace {

std::optional<double> parseCoordinate(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value) || std::abs(value) > 100000) {
        return std::nullopt;
    }
    return value;
}

constexpr const char* kAutoHideNames[] = {"always", "desktop", "fullscreen", "never"};

}  // namespace

int runWindows(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    if (const auto answered =
            answerArgumentlessCommand("windows",
                                      "usage: vmac windows\n\n"
                                      "The window list as CGWindowListCopyWindowInfo gives it, front to back: owner,\n"
                                      "process, layer (24 the main menu, -2147483607 the desktop icons), bounds\n"
                                      "(x y width height, top-left origin on the primary display), whether it is\n"
                                      "on screen, and its alpha. Each display has the \"Window Server\" menu bar, a\n"
                                      "\"MenuBarAgent\" cover where the menu bar hides, and the \"Finder\" desktop.\n",
                                      arguments)) {
        return *answered;
    }
    WindowServerReader reader(paths);
    const auto& snapshot = reader.current();
    const auto windows = composeWindows(snapshot.displays, snapshot.state, readAllPanels(paths), continuousNowNs());
    std::printf("%-16s %7s %11s  %-34s %-10s %s\n", "OWNER", "PID", "LAYER", "BOUNDS", "SCREEN", "ALPHA");
    for (const auto& w : windows) {
        char bounds[64];
        std::snprintf(bounds, sizeof bounds, "%g %g %g %g", w.bounds.origin.x, w.bounds.origin.y, w.bounds.size.width,
                      w.bounds.size.height);
        std::printf("%-16s %7d %11d  %-34s %-10s %g\n", w.owner.c_str(), static_cast<int>(w.pid), w.layer, bounds,
                    w.onScreen ? "on" : "off", w.alpha);
    }
    return 0;
}

int runPointer(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    constexpr const char* kUsage =
        "usage: vmac pointer          where the pointer is\n"
        "       vmac pointer X Y      move it there\n\n"
        "Global coordinates with the origin at the primary display's top-left corner,\n"
        "y downwards, as CGWarpMouseCursorPosition takes them. Apps' global event\n"
        "monitors hear a mouse-moved event. Reaching the top edge of a display whose\n"
        "menu bar is hidden brings it down (it slides for 0.25 s); leaving the menu\n"
        "bar sends it up again.\n";
    if (wantsHelp(arguments)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (arguments.empty()) {
        WindowServerReader reader(paths);
        const auto& pointer = reader.current().state.pointer;
        std::printf("%g %g\n", pointer.x, pointer.y);
        return 0;
    }
    const auto x = arguments.size() == 2 ? parseCoordinate(arguments[0]) : std::nullopt;
    const auto y = arguments.size() == 2 ? parseCoordinate(arguments[1]) : std::nullopt;
    if (!x || !y) {
        std::fprintf(stderr, "vmac pointer: takes two numbers, X and Y\n%s", kUsage);
        return 64;
    }
    double primaryHeight = 0;
    const auto changed =
        changeWindowServer(paths, "pointer", [&](WindowServerState& state, const DisplayRecords& displays) {
            movePointer(state, displays, {*x, *y}, continuousNowNs());
            const auto screens = screenLayout(displays, state);
            primaryHeight = screens.empty() ? 0 : screens.front().frame.size.height;
            return std::optional<std::string>();
        });
    if (changed != 0) {
        return changed;
    }
    const double cocoaY = primaryHeight - *y;
    return announce(paths, "pointer", kMouseMoved,
                    [&](sd_bus_message* message) { return sd_bus_message_append(message, "dd", *x, cocoaY); });
}

int runMenubar(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    constexpr const char* kUsage =
        "usage: vmac menubar                  the auto-hide setting and each display's menu bar\n"
        "       vmac menubar autohide always|desktop|fullscreen|never\n\n"
        "System Settings' \"Automatically hide and show the menu bar\": stored as\n"
        "AutoHideMenuBarOption (0 to 3) of com.apple.controlcenter, as macOS does, and\n"
        "followed by the window server. A hidden menu bar lies above the display's top\n"
        "edge behind a \"MenuBarAgent\" cover; the pointer at the top edge brings it\n"
        "down. Apps hear that the screen parameters changed.\n";
    if (wantsHelp(arguments)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (arguments.empty()) {
        WindowServerReader reader(paths);
        const auto& snapshot = reader.current();
        std::printf("auto-hide %s\n", kAutoHideNames[static_cast<int>(snapshot.state.autoHide)]);
        const auto now = continuousNowNs();
        for (const auto& screen : screenLayout(snapshot.displays, snapshot.state)) {
            const double offset = menuBarOffset(screen, snapshot.state, now);
            std::printf("display %-10u height %g  %s\n", screen.id, screen.menuBarHeight,
                        offset <= -screen.menuBarHeight ? "hidden"
                        : offset < 0                    ? "sliding"
                                                        : "shown");
        }
        return 0;
    }
    std::optional<int> setting;
    for (int i = 0; i < 4; ++i) {
        if (arguments.size() == 2 && arguments[0] == "autohide" && arguments[1] == kAutoHideNames[i]) {
            setting = i;
        }
    }
    if (!setting) {
        std::fprintf(stderr, "vmac menubar: unknown setting\n%s", kUsage);
        return 64;
    }
    FileUserDefaults defaults(paths, "com.zelquin.vmac");
    const auto suite = defaults.suite("com.apple.controlcenter");
    if (!suite) {
        std::fprintf(stderr, "vmac menubar: cannot open com.apple.controlcenter\n");
        return 1;
    }
    if (auto written = suite->set("AutoHideMenuBarOption", PreferenceValue(*setting)); !written) {
        std::fprintf(stderr, "vmac menubar: %s\n", written.error().c_str());
        return 1;
    }
    const auto changed = changeWindowServer(paths, "menubar", [&](WindowServerState& state, const DisplayRecords&) {
        state.autoHide = static_cast<AutoHideSetting>(*setting);
        return std::optional<std::string>();
    });
    return changed != 0 ? changed : announce(paths, "menubar", kScreenParametersChanged);
}

}  // namespace lidora::vmac
