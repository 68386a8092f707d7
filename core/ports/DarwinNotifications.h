#pragma once

#include <functional>
#include <string_view>

#include "core/runtime/Cancellable.h"

namespace lidora {

// Darwin notifications: a name and no payload, between processes.
class DarwinNotificationCenter {
public:
    virtual ~DarwinNotificationCenter() = default;

    // notify_post. Delivery is best effort, as on the system.
    virtual void post(std::string_view name) = 0;
    // notify_register_dispatch on the main queue: `handler` runs on the run
    // loop for each delivery while the returned handle lives.
    [[nodiscard]] virtual Cancellable observe(std::string_view name, std::function<void()> handler) = 0;
};

}  // namespace lidora
