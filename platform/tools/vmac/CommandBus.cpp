#include "platform/tools/vmac/CommandBus.h"

namespace lidora::vmac {

CommandBus::CommandBus(const VmacPaths& paths) : bus_(loop_, paths, Logger()) {}

bool CommandBus::connect(std::chrono::milliseconds limit) {
    if (bus_.connected()) {
        return true;
    }
    const auto waiting = bus_.whenConnected([this] { loop_.stop(); });
    loop_.runUntil(loop_.now() + limit);
    return bus_.connected();
}

bool CommandBus::settle(std::chrono::milliseconds limit) {
    std::optional<bool> settled;
    const auto waiting = bus_.settle([&](bool ok) {
        settled = ok;
        loop_.stop();
    });
    loop_.runUntil(loop_.now() + limit);
    return settled.value_or(false);
}

std::optional<pid_t> CommandBus::ownerOf(const std::string& name, std::chrono::milliseconds limit) {
    std::optional<pid_t> owner;
    const auto asking = bus_.queryNameOwnerPid(name, [&](std::optional<pid_t> pid) {
        owner = pid;
        loop_.stop();
    });
    loop_.runUntil(loop_.now() + limit);
    return owner;
}

std::shared_ptr<sd_bus_message> CommandBus::call(const BusMethod& method, const VmacBus::Append& append,
                                                 std::chrono::milliseconds limit) {
    std::shared_ptr<sd_bus_message> answer;
    bool answered = false;
    // sd-bus ends the call at `limit` with an error of its own; the loop waits a little longer for it.
    const auto calling = bus_.callMethod(method, append, limit, [&](sd_bus_message* reply) {
        if (reply != nullptr) {
            answer.reset(sd_bus_message_ref(reply), sd_bus_message_unref);
        }
        answered = true;
        loop_.stop();
    });
    loop_.runUntil(loop_.now() + limit + std::chrono::seconds(1));
    return answered ? answer : nullptr;
}

}  // namespace lidora::vmac
