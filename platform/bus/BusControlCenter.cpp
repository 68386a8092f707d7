#include "platform/bus/BusControlCenter.h"

#include <string>

#include "platform/bus/BusProtocol.h"

namespace lidora::vmac {

BusControlCenter::BusControlCenter(VmacBus& bus, const VmacPaths& paths, Logger logger)
    : bus_(bus),
      record_(paths, [logger](const std::string& warning) { logger.error("%{public}s", warning); }),
      logger_(std::move(logger)) {}

void BusControlCenter::reloadControls(std::string_view kind) {
    // The reload is best effort, as WidgetKit's is: failures are only logged.
    if (auto counted = record_.countReload(kind); !counted) {
        logger_.error("cannot record a reload of %{public}s: %{public}s", std::string(kind), counted.error());
    }
    const std::string text(kind);
    bus_.emit(kControlsReloaded,
              [&text](sd_bus_message* message) { return sd_bus_message_append(message, "s", text.c_str()); });
}

}  // namespace lidora::vmac
