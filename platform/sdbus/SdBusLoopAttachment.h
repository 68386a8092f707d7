#pragma once

#include <functional>

#include "core/ports/RunLoop.h"
#include "platform/sdbus/SdBusPtr.h"

namespace lidora::vmac {

// Drives an sd-bus connection from a run loop: watches its descriptor for
// what it currently wants, honours its time-outs, and processes until it has
// nothing left. `broken` runs once when the connection fails or closes.
class SdBusLoopAttachment {
public:
    SdBusLoopAttachment(RunLoop& loop, sd_bus* bus, std::function<void(int error)> broken);
    SdBusLoopAttachment(const SdBusLoopAttachment&) = delete;
    SdBusLoopAttachment& operator=(const SdBusLoopAttachment&) = delete;

    // Processes what is pending and re-arms; call after queueing a message.
    void kick();
    void detach();

private:
    void process();
    void rearm();

    RunLoop& loop_;
    sd_bus* bus_;
    std::function<void(int)> broken_;
    Cancellable watch_;
    Cancellable timer_;
    bool detached_ = false;
};

}  // namespace lidora::vmac
