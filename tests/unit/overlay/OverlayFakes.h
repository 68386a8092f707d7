#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "core/overlay/AppleLogoOverlay.h"
#include "tests/support/MemoryDefaults.h"

namespace lidora::testing {

inline constexpr std::int32_t kMainMenuLevel = 24;
inline constexpr std::int32_t kDesktopIconLevel = -2147483607;

// A window list the test composes, read as CoreGraphics gives it.
struct FakeWindowServer final : WindowServer {
    std::optional<std::vector<PreferenceDictionary>> copyWindowInfo(std::uint32_t options) const override {
        ++reads;
        if (unavailable) {
            return std::nullopt;
        }
        std::vector<PreferenceDictionary> entries;
        for (const auto& window : windows) {
            if (options == kCGWindowListOptionOnScreenOnly && !window.isOnScreen) {
                continue;
            }
            const auto& b = window.bounds;
            entries.push_back(
                {{kCGWindowBounds,
                  PreferenceDictionary{
                      {"X", b.origin.x}, {"Y", b.origin.y}, {"Width", b.size.width}, {"Height", b.size.height}}},
                 {kCGWindowOwnerName, window.owner},
                 {kCGWindowLayer, window.layer},
                 {kCGWindowIsOnscreen, window.isOnScreen}});
        }
        return entries;
    }
    std::int32_t windowLevelForKey(int key) const override {
        return key == kCGMainMenuWindowLevelKey ? kMainMenuLevel : kDesktopIconLevel;
    }

    // The pieces of a display's top strip; `frame` is its Quartz frame.
    void menuBar(const Rect& frame, double offset, double height = 24) {
        windows.push_back({"Window Server",
                           kMainMenuLevel,
                           {{frame.minX(), frame.minY() + offset}, {frame.size.width, height}},
                           true});
    }
    void cover(const Rect& frame, bool onScreen, double shift = 0, double height = 24) {
        windows.push_back({"MenuBarAgent",
                           kMainMenuLevel,
                           {{frame.minX() + shift, frame.minY()}, {frame.size.width, height}},
                           onScreen});
    }
    void finder(const Rect& frame, bool onScreen) { windows.push_back({"Finder", kDesktopIconLevel, frame, onScreen}); }

    std::vector<WindowInfo> windows;
    bool unavailable = false;
    mutable int reads = 0;
};

inline ScreenInfo screenAt(DisplayID id, Rect frame, double barGap = 25, double notch = 0) {
    Rect visible = frame;
    visible.size.height -= barGap;
    return ScreenInfo{frame, visible, notch, {{"NSScreenNumber", static_cast<std::int64_t>(id)}}};
}

struct FakeScreens final : Screens {
    std::vector<ScreenInfo> screens() const override { return list; }
    double statusBarThickness() const override { return 24; }
    Cancellable observeScreenParameters(std::function<void()> handler) override {
        handlers.push_back(std::move(handler));
        return {};
    }
    void change() {
        for (auto& handler : handlers) {
            handler();
        }
    }
    std::vector<ScreenInfo> list;
    std::vector<std::function<void()>> handlers;
};

struct FakePanelMaker;

struct FakePanel final : Panel {
    FakePanel(FakePanelMaker& maker, PanelSettings settings)
        : maker(maker), settings(std::move(settings)), rect(this->settings.contentRect) {}
    ~FakePanel() override;
    FakePanel(const FakePanel&) = delete;
    FakePanel& operator=(const FakePanel&) = delete;
    void orderFrontRegardless() override;
    void orderOut() override { visible = false; }
    bool isVisible() const override { return visible; }
    double alphaValue() const override { return alpha; }
    void setAlphaValue(double value) override { alpha = value; }
    Rect frame() const override { return rect; }
    void setFrameOrigin(Point origin) override {
        rect.origin = origin;
        ++moves;
    }
    bool isOnActiveSpace() const override;

    FakePanelMaker& maker;
    PanelSettings settings;
    Rect rect;
    bool visible = false;
    double alpha = 1;
    int space = -1;
    int moves = 0;
};

// Panels live on the space active when ordered in; the test switches it.
struct FakePanelMaker final : PanelMaker {
    std::unique_ptr<Panel> makePanel(const PanelSettings& settings) override {
        auto panel = std::make_unique<FakePanel>(*this, settings);
        made.push_back(panel.get());
        return panel;
    }
    int activeSpace = 0;
    // Every panel made, in order; null once the overlay released it.
    std::vector<FakePanel*> made;
    // Whether each released panel was still on screen when it went.
    std::vector<bool> releasedVisible;
};

inline FakePanel::~FakePanel() {
    std::replace(maker.made.begin(), maker.made.end(), this, static_cast<FakePanel*>(nullptr));
    maker.releasedVisible.push_back(visible);
}

inline void FakePanel::orderFrontRegardless() {
    if (!visible) {
        space = maker.activeSpace;
    }
    visible = true;
}

inline bool FakePanel::isOnActiveSpace() const {
    return (settings.collectionBehavior & CollectionBehavior::canJoinAllSpaces) != 0 || space == maker.activeSpace;
}

inline FakePanel& fake(const std::unique_ptr<Panel>& panel) {
    return static_cast<FakePanel&>(*panel);
}

struct FakeEvents final : EventMonitors {
    Cancellable addGlobalMonitor(std::uint64_t mask, std::function<void()> handler) override {
        masks.push_back(mask);
        global = std::move(handler);
        return {};
    }
    Cancellable addLocalMonitor(std::uint64_t mask, std::function<void()> handler) override {
        masks.push_back(mask);
        local = std::move(handler);
        return {};
    }
    Point mouseLocation() const override { return location; }
    void move(Point to) {
        location = to;
        global();
    }
    std::function<void()> global;
    std::function<void()> local;
    Point location{700, 400};
    std::vector<std::uint64_t> masks;
};

}  // namespace lidora::testing
