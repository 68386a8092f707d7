#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "core/runtime/Expected.h"
#include "platform/accessibility/UiElementTree.h"
#include "platform/bus/VmacBus.h"

namespace lidora::vmac {

// A scripting client of one application's interface (AccessibilityServer),
// each request bounded by `timeout`. Errors come as text that says what
// happened: not running, no answer in time, refused, or the application's
// own reason.
class AccessibilityClient {
public:
    AccessibilityClient(VmacBus& bus, const std::string& bundleIdentifier, std::chrono::milliseconds timeout);

    [[nodiscard]] Cancellable copyTree(std::function<void(Expected<UiElement, std::string>)> done);
    // `done` gets nothing when the application took it, else why not.
    [[nodiscard]] Cancellable perform(std::uint64_t element, const std::string& action,
                                      std::function<void(std::optional<std::string>)> done);
    [[nodiscard]] Cancellable setValue(std::uint64_t element, const std::string& value,
                                       std::function<void(std::optional<std::string>)> done);

private:
    [[nodiscard]] Cancellable request(const char* member, const VmacBus::Append& append, VmacBus::Handler reply);
    [[nodiscard]] std::optional<std::string> failure(sd_bus_message* reply) const;

    VmacBus& bus_;
    std::string busName_;
    std::chrono::milliseconds timeout_;
};

}  // namespace lidora::vmac
