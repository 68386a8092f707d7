#include "platform/bus/BusWorkspace.h"

#include "platform/bus/BusProtocol.h"

namespace lidora::vmac {

Cancellable BusWorkspace::observeDidWake(std::function<void()> handler) {
    return bus_.subscribe(kWorkspaceDidWake, std::nullopt,
                          [handler = std::move(handler)](sd_bus_message* /*message*/) { handler(); });
}

Cancellable BusWorkspace::observeScreensDidSleep(std::function<void()> handler) {
    return bus_.subscribe(kWorkspaceScreensDidSleep, std::nullopt,
                          [handler = std::move(handler)](sd_bus_message* /*message*/) { handler(); });
}

Cancellable BusWorkspace::observeScreensDidWake(std::function<void()> handler) {
    return bus_.subscribe(kWorkspaceScreensDidWake, std::nullopt,
                          [handler = std::move(handler)](sd_bus_message* /*message*/) { handler(); });
}

Cancellable BusWorkspace::observeReopen(std::function<void()> handler) {
    return bus_.subscribe(kWorkspaceReopen, bundleIdentifier_,
                          [handler = std::move(handler)](sd_bus_message* /*message*/) { handler(); });
}

Cancellable BusWorkspace::observeActiveSpaceDidChange(std::function<void()> handler) {
    return bus_.subscribe(kWorkspaceActiveSpaceDidChange, std::nullopt,
                          [handler = std::move(handler)](sd_bus_message* /*message*/) { handler(); });
}

bool postDidWake(VmacBus& bus) {
    return bus.emit(kWorkspaceDidWake);
}

bool postScreensDidSleep(VmacBus& bus) {
    return bus.emit(kWorkspaceScreensDidSleep);
}

bool postScreensDidWake(VmacBus& bus) {
    return bus.emit(kWorkspaceScreensDidWake);
}

bool postReopen(VmacBus& bus, const std::string& bundleIdentifier) {
    return bus.emit(kWorkspaceReopen, [&bundleIdentifier](sd_bus_message* message) {
        return sd_bus_message_append(message, "s", bundleIdentifier.c_str());
    });
}

bool postActiveSpaceDidChange(VmacBus& bus) {
    return bus.emit(kWorkspaceActiveSpaceDidChange);
}

}  // namespace lidora::vmac
