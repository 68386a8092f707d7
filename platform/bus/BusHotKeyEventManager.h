#pragma once

#include <vector>

#include "core/ports/HotKeyEvents.h"
#include "core/runtime/Logger.h"
#include "platform/bus/HotKeyRecord.h"
#include "platform/bus/VmacBus.h"

namespace lidora::vmac {

// The Carbon event manager's hot keys on the virtual Mac. Registrations go
// into a record every process shares, so that a combination another live
// process holds is refused, and `vmac key` knows whom a press is for; the
// press then arrives as a bus signal addressed to this process's pid. The
// registrations end with this object (or the process).
class BusHotKeyEventManager final : public HotKeyEventManager {
public:
    BusHotKeyEventManager(VmacBus& bus, const VmacPaths& paths, Logger logger);
    ~BusHotKeyEventManager() override;
    BusHotKeyEventManager(const BusHotKeyEventManager&) = delete;
    BusHotKeyEventManager& operator=(const BusHotKeyEventManager&) = delete;

    // One handler per process here; installing another replaces it.
    std::int32_t installHotKeyPressedHandler(std::function<std::int32_t(EventHotKeyID)> handler) override;
    Expected<EventHotKeyRef, std::int32_t> registerEventHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                                               EventHotKeyID id) override;

private:
    struct Registered {
        KeyCombination combination;
        EventHotKeyID id;
        EventHotKeyRef ref;
    };

    void pressed(sd_bus_message* message);

    HotKeyRecord record_;
    Logger logger_;
    std::optional<ProcessIdentity> self_;
    std::string processName_;
    std::function<std::int32_t(EventHotKeyID)> handler_;
    std::vector<Registered> registered_;
    EventHotKeyRef nextRef_ = 1;
    Cancellable presses_;
};

// The window server's part: a press of `combination` for process `owner`.
bool sendHotKeyPress(VmacBus& bus, pid_t owner, const KeyCombination& combination);

}  // namespace lidora::vmac
