#pragma once

#include "core/ports/DistributedNotifications.h"
#include "platform/bus/VmacBus.h"

namespace lidora::vmac {

// Distributed notifications as signals on the virtual Mac's bus, apart from
// Darwin notifications of the same name as on the system: a post reaches
// every observer of the name in any process, this one included.
class BusDistributedNotificationCenter final : public DistributedNotificationCenter {
public:
    explicit BusDistributedNotificationCenter(VmacBus& bus) : bus_(bus) {}

    void post(std::string_view name) override;
    [[nodiscard]] Cancellable observe(std::string_view name, std::function<void()> handler) override;

private:
    VmacBus& bus_;
};

}  // namespace lidora::vmac
