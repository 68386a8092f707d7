#pragma once

#include <string>

#include "core/ports/Workspace.h"
#include "platform/bus/VmacBus.h"

namespace lidora::vmac {

// NSWorkspace's wake and display sleep notifications and the reopen event, from the virtual
// Mac's bus. Reopen events are addressed by bundle identifier; this process
// hears those for `bundleIdentifier`.
class BusWorkspace final : public Workspace {
public:
    BusWorkspace(VmacBus& bus, std::string bundleIdentifier)
        : bus_(bus), bundleIdentifier_(std::move(bundleIdentifier)) {}

    [[nodiscard]] Cancellable observeDidWake(std::function<void()> handler) override;
    [[nodiscard]] Cancellable observeScreensDidSleep(std::function<void()> handler) override;
    [[nodiscard]] Cancellable observeScreensDidWake(std::function<void()> handler) override;
    [[nodiscard]] Cancellable observeReopen(std::function<void()> handler) override;
    [[nodiscard]] Cancellable observeActiveSpaceDidChange(std::function<void()> handler) override;

private:
    VmacBus& bus_;
    std::string bundleIdentifier_;
};

// What the system does: the Mac wakes; its displays sleep or wake; an
// application is opened again.
bool postDidWake(VmacBus& bus);
bool postScreensDidSleep(VmacBus& bus);
bool postScreensDidWake(VmacBus& bus);
bool postReopen(VmacBus& bus, const std::string& bundleIdentifier);
bool postActiveSpaceDidChange(VmacBus& bus);

}  // namespace lidora::vmac
