#include "platform/bus/BusDistributedNotificationCenter.h"

#include <string>

#include "platform/bus/BusProtocol.h"

namespace lidora::vmac {

void BusDistributedNotificationCenter::post(std::string_view name) {
    const std::string text(name);
    bus_.emit(kDistributedNotificationPosted,
              [&text](sd_bus_message* message) { return sd_bus_message_append(message, "s", text.c_str()); });
}

Cancellable BusDistributedNotificationCenter::observe(std::string_view name, std::function<void()> handler) {
    return bus_.subscribe(kDistributedNotificationPosted, std::string(name),
                          [handler = std::move(handler)](sd_bus_message* /*message*/) { handler(); });
}

}  // namespace lidora::vmac
