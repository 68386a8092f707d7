#pragma once

#include <systemd/sd-bus.h>

#include <memory>

#include "platform/vmac/FileDescriptor.h"

namespace lidora::vmac {

// Closes without flushing: flushing may block on a peer that stopped reading.
struct SdBusUnref {
    void operator()(sd_bus* bus) const { sd_bus_close_unref(bus); }
};
struct SdBusMessageUnref {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
struct SdBusSlotUnref {
    void operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
};

using SdBusPtr = std::unique_ptr<sd_bus, SdBusUnref>;
using SdBusMessagePtr = std::unique_ptr<sd_bus_message, SdBusMessageUnref>;
using SdBusSlotPtr = std::unique_ptr<sd_bus_slot, SdBusSlotUnref>;

}  // namespace lidora::vmac
