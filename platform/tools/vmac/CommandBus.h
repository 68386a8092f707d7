#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "platform/bus/VmacBus.h"
#include "platform/runloop/PollRunLoop.h"

namespace lidora::vmac {

// The message bus for one vmac command: a loop of its own, driven only
// while the command waits, each wait bounded.
class CommandBus {
public:
    explicit CommandBus(const VmacPaths& paths);

    [[nodiscard]] VmacBus& bus() { return bus_; }
    [[nodiscard]] PollRunLoop& loop() { return loop_; }

    // Waits for a connection, giving a daemon that launchd is starting a
    // moment. False after `limit`.
    bool connect(std::chrono::milliseconds limit = std::chrono::seconds(3));
    // Waits until the daemon handled what was sent; false after `limit`.
    bool settle(std::chrono::milliseconds limit = std::chrono::seconds(3));
    // The pid owning `name`, if any.
    std::optional<pid_t> ownerOf(const std::string& name, std::chrono::milliseconds limit = std::chrono::seconds(3));

    // Calls a method of another peer and waits for the answer (a return or
    // an error); empty when none came within `limit` or the bus went away.
    std::shared_ptr<sd_bus_message> call(const BusMethod& method, const VmacBus::Append& append,
                                         std::chrono::milliseconds limit);

private:
    PollRunLoop loop_;
    VmacBus bus_;
};

inline constexpr const char* kNoBusMessage = "the virtual Mac's message bus is not running (vmac boot starts it)";

}  // namespace lidora::vmac
