#pragma once

#include <memory>
#include <vector>

#include "core/ports/Panels.h"
#include "core/ports/WindowServer.h"
#include "core/runtime/CallbackList.h"
#include "platform/bus/VmacBus.h"
#include "platform/vmac/AtomicFile.h"
#include "platform/windowserver/PanelRegistry.h"
#include "platform/windowserver/WindowComposer.h"

namespace lidora::vmac {

// The displays record and the window server's state, read again only
// when either file changed.
class WindowServerReader {
public:
    explicit WindowServerReader(VmacPaths paths);

    struct Snapshot {
        DisplayRecords displays;
        WindowServerState state;  // settled for the displays
    };
    const Snapshot& current();
    [[nodiscard]] const VmacPaths& paths() const { return paths_; }

private:
    VmacPaths paths_;
    std::string displaysFile_;
    std::string stateFile_;
    std::optional<FileIdentity> displaysSeen_;
    std::optional<FileIdentity> stateSeen_;
    bool read_ = false;
    Snapshot snapshot_;
};

// CGWindowListCopyWindowInfo over the virtual Mac's window server.
class VirtualWindowServer final : public WindowServer {
public:
    explicit VirtualWindowServer(std::shared_ptr<WindowServerReader> reader) : reader_(std::move(reader)) {}
    [[nodiscard]] std::optional<std::vector<PreferenceDictionary>> copyWindowInfo(std::uint32_t options) const override;
    [[nodiscard]] std::int32_t windowLevelForKey(int key) const override;

private:
    std::shared_ptr<WindowServerReader> reader_;
};

// NSScreen.screens as AppKit keeps them: read when the screen parameters
// change (the window server says so on the bus), not on every call.
class VirtualScreens final : public Screens {
public:
    VirtualScreens(std::shared_ptr<WindowServerReader> reader, VmacBus& bus);
    [[nodiscard]] std::vector<ScreenInfo> screens() const override { return screens_; }
    [[nodiscard]] double statusBarThickness() const override { return kStatusBarThickness; }
    [[nodiscard]] Cancellable observeScreenParameters(std::function<void()> handler) override;

private:
    void reread();

    std::shared_ptr<WindowServerReader> reader_;
    std::vector<ScreenInfo> screens_;
    std::shared_ptr<CallbackList<void()>> observers_ = std::make_shared<CallbackList<void()>>();
    Cancellable subscription_;
};

// Mouse-moved events from the bus; the pointer is another app's, so only
// global monitors hear it.
class VirtualEventMonitors final : public EventMonitors {
public:
    VirtualEventMonitors(std::shared_ptr<WindowServerReader> reader, VmacBus& bus)
        : reader_(std::move(reader)), bus_(bus) {}
    [[nodiscard]] Cancellable addGlobalMonitor(std::uint64_t mask, std::function<void()> handler) override;
    [[nodiscard]] Cancellable addLocalMonitor(std::uint64_t mask, std::function<void()> handler) override;
    [[nodiscard]] Point mouseLocation() const override;

private:
    std::shared_ptr<WindowServerReader> reader_;
    VmacBus& bus_;
    std::optional<Point> heard_;  // the last event's location, Cocoa
};

// NSPanel's registration with the window server; what it draws is the
// front end's (see makeView).
class RegisteredPanel : public Panel {
public:
    RegisteredPanel(PanelRegistry& registry, std::shared_ptr<WindowServerReader> reader, const PanelSettings& settings);
    ~RegisteredPanel() override;
    RegisteredPanel(const RegisteredPanel&) = delete;
    RegisteredPanel& operator=(const RegisteredPanel&) = delete;

    void orderFrontRegardless() override;
    void orderOut() override;
    [[nodiscard]] bool isVisible() const override { return record_.orderedIn; }
    [[nodiscard]] double alphaValue() const override { return record_.alpha; }
    void setAlphaValue(double alpha) override;
    [[nodiscard]] Rect frame() const override { return record_.frame; }
    void setFrameOrigin(Point origin) override;
    [[nodiscard]] bool isOnActiveSpace() const override;
    [[nodiscard]] std::uint64_t id() const { return record_.id; }

private:
    PanelRegistry& registry_;
    std::shared_ptr<WindowServerReader> reader_;
    PanelRecord record_;
};

// Panels known to the window server only (drawn by `vmac screen`).
class RegisteredPanelMaker final : public PanelMaker {
public:
    RegisteredPanelMaker(PanelRegistry& registry, std::shared_ptr<WindowServerReader> reader)
        : registry_(registry), reader_(std::move(reader)) {}
    [[nodiscard]] std::unique_ptr<Panel> makePanel(const PanelSettings& settings) override {
        return std::make_unique<RegisteredPanel>(registry_, reader_, settings);
    }

private:
    PanelRegistry& registry_;
    std::shared_ptr<WindowServerReader> reader_;
};

}  // namespace lidora::vmac
