#pragma once

#include "core/ports/ControlCenter.h"
#include "core/runtime/Logger.h"
#include "platform/bus/ControlReloadRecord.h"
#include "platform/bus/VmacBus.h"

namespace lidora::vmac {

// WidgetKit's control reloads on the virtual Mac: each reload is counted in
// a shared record (`vmac controls` shows it) and announced on the bus for a
// control host to act on.
class BusControlCenter final : public ControlCenter {
public:
    BusControlCenter(VmacBus& bus, const VmacPaths& paths, Logger logger);

    void reloadControls(std::string_view kind) override;

private:
    VmacBus& bus_;
    ControlReloadRecord record_;
    Logger logger_;
};

}  // namespace lidora::vmac
