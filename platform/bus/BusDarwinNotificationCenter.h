#pragma once

#include "core/ports/DarwinNotifications.h"
#include "platform/bus/VmacBus.h"

namespace lidora::vmac {

// Darwin notifications as signals on the virtual Mac's bus: a post reaches
// every observer of the name in any process, this one included.
class BusDarwinNotificationCenter final : public DarwinNotificationCenter {
public:
    explicit BusDarwinNotificationCenter(VmacBus& bus) : bus_(bus) {}

    void post(std::string_view name) override;
    [[nodiscard]] Cancellable observe(std::string_view name, std::function<void()> handler) override;

private:
    VmacBus& bus_;
};

}  // namespace lidora::vmac
