#include "platform/sdbus/SdBusLoopAttachment.h"

#include <poll.h>
#include <time.h>

#include <cerrno>

namespace lidora::vmac {

SdBusLoopAttachment::SdBusLoopAttachment(RunLoop& loop, sd_bus* bus, std::function<void(int)> broken)
    : loop_(loop), bus_(bus), broken_(std::move(broken)) {}

void SdBusLoopAttachment::kick() {
    process();
}

void SdBusLoopAttachment::detach() {
    detached_ = true;
    watch_.cancel();
    timer_.cancel();
}

void SdBusLoopAttachment::process() {
    if (detached_) {
        return;
    }
    for (;;) {
        const int r = sd_bus_process(bus_, nullptr);
        if (detached_) {
            return;  // a callback let go of the connection
        }
        if (r < 0) {
            detach();
            if (auto broken = std::move(broken_)) {
                broken(r);
            }
            return;
        }
        if (r == 0) {
            break;
        }
    }
    rearm();
}

void SdBusLoopAttachment::rearm() {
    const int events = sd_bus_get_events(bus_);
    if (events < 0) {
        detach();
        if (auto broken = std::move(broken_)) {
            broken(events);
        }
        return;
    }
    unsigned wanted = 0;
    if ((events & POLLIN) != 0) {
        wanted |= FdEvent::Readable;
    }
    if ((events & POLLOUT) != 0) {
        wanted |= FdEvent::Writable;
    }
    watch_ = loop_.watch(sd_bus_get_fd(bus_), wanted, [this](unsigned) { process(); });
    std::uint64_t deadline = 0;
    timer_.cancel();
    if (sd_bus_get_timeout(bus_, &deadline) >= 0 && deadline != UINT64_MAX) {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        const auto now =
            static_cast<std::uint64_t>(ts.tv_sec) * 1'000'000U + static_cast<std::uint64_t>(ts.tv_nsec) / 1000U;
        const auto delay = std::chrono::microseconds(deadline > now ? deadline - now : 0);
        timer_ = loop_.scheduleAfter(delay, [this] { process(); });
    }
}

}  // namespace lidora::vmac
