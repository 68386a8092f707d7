#include "platform/bus/BusDarwinNotificationCenter.h"

#include <string>

#include "platform/bus/BusProtocol.h"

namespace lidora::vmac {

void BusDarwinNotificationCenter::post(std::string_view name) {
    const std::string text(name);
    bus_.emit(kDarwinNotificationPosted,
              [&text](sd_bus_message* message) { return sd_bus_message_append(message, "s", text.c_str()); });
}

Cancellable BusDarwinNotificationCenter::observe(std::string_view name, std::function<void()> handler) {
    return bus_.subscribe(kDarwinNotificationPosted, std::string(name),
                          [handler = std::move(handler)](sd_bus_message* /*message*/) { handler(); });
}

}  // namespace lidora::vmac
