#include "platform/xpc/XpcServerConnection.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <systemd/sd-id128.h>
#include <time.h>

#include <cerrno>

#include "platform/xpc/XpcWire.h"

namespace lidora::vmac {

namespace {

std::uint64_t monotonicMicroseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1'000'000U + static_cast<std::uint64_t>(ts.tv_nsec) / 1000U;
}

short pollEvents(int busEvents) {
    short events = 0;
    if ((busEvents & POLLIN) != 0) {
        events |= POLLIN;
    }
    if ((busEvents & POLLOUT) != 0) {
        events |= POLLOUT;
    }
    return events;
}

}  // namespace

XpcServerConnection::XpcServerConnection(RunLoop& mainLoop, WorkerPool& workers, FileDescriptor socket, ucred peer,
                                         std::shared_ptr<const PeerRequirementCheck> check, XpcServerOptions options,
                                         std::function<void(XpcServerConnection*)> onFinished)
    : mainLoop_(mainLoop),
      workers_(workers),
      socket_(std::move(socket)),
      stopEvent_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      peer_(peer),
      check_(std::move(check)),
      options_(options),
      onFinished_(std::move(onFinished)),
      acceptedAt_(monotonicMicroseconds()) {}

XpcServerConnection::~XpcServerConnection() = default;

void XpcServerConnection::resume() {
    if (resumed_ || finished_) {
        return;
    }
    resumed_ = true;
    // Like the framework, check the peer before any of its messages is
    // handled; a peer that fails is invalidated. Resumed by the delegate, it
    // is checked at once and set serving while the delegate finishes (it
    // configured the connection before resuming it, as it must).
    if (inDelegateTurn_) {
        admitOrRefuse();
    } else {
        mainLoop_.post([self = shared_from_this()] { self->admitOrRefuse(); });
    }
}

void XpcServerConnection::admitOrRefuse() {
    if (finished_ || invalidated_) {
        return;
    }
    if (!requirement_.empty() && !(check_ && *check_ && (*check_)(socket_.get(), peer_, requirement_))) {
        refuse();
        return;
    }
    serving_ = true;
    const bool queued = workers_.submit([self = shared_from_this()] {
        self->serve();
        self->mainLoop_.post([self] { self->finish(); });
    });
    if (!queued) {
        serving_ = false;
        refuse();
    }
}

void XpcServerConnection::refuse() {
    socket_.reset();
    // Later, not from inside the delegate: finishing lets the listener open
    // held connections, which would call the delegate again.
    mainLoop_.post([self = shared_from_this()] { self->finish(); });
}

void XpcServerConnection::invalidate() {
    if (!serving_) {
        resumed_ = true;
        invalidated_ = true;
        socket_.reset();
        mainLoop_.post([self = shared_from_this()] { self->finish(); });
        return;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(stopEvent_.get(), &one, sizeof one);
}

std::shared_ptr<XpcObject> XpcServerConnection::remoteObjectProxy(std::function<void(const XpcError&)>) {
    // The daemon never calls back into its clients.
    return std::make_shared<XpcObject>();
}

void XpcServerConnection::finish() {
    if (finished_) {
        return;
    }
    finished_ = true;
    if (auto handler = std::move(invalidationHandler_)) {
        handler();
    }
    if (onFinished_) {
        onFinished_(this);
    }
}

void XpcServerConnection::serve() {
    sd_bus* raw = nullptr;
    if (sd_bus_new(&raw) < 0) {
        return;
    }
    const SdBusPtr bus(raw);
    sd_id128_t id{};
    sd_id128_randomize(&id);
    const int fd = socket_.release();
    if (sd_bus_set_fd(bus.get(), fd, fd) < 0 || sd_bus_set_server(bus.get(), 1, id) < 0 ||
        sd_bus_set_anonymous(bus.get(), 1) < 0) {
        ::close(fd);
        return;
    }
    auto slot = exportObject(exportedInterface_, bus.get(), exportedObject_);
    sd_bus_slot* filter = nullptr;
    if (!slot || sd_bus_add_filter(bus.get(), &filter, noteRequest, this) < 0) {
        return;
    }
    const SdBusSlotPtr filterSlot(filter);
    if (sd_bus_start(bus.get()) < 0) {
        return;
    }
    // No flush at the end: replies are written as they are made, and a
    // flush would wait for ever on a peer that never finished authenticating.
    serveUntilDone(bus.get());
}

int XpcServerConnection::noteRequest(sd_bus_message* /*message*/, void* userdata, sd_bus_error* /*error*/) {
    static_cast<XpcServerConnection*>(userdata)->requestArrived_ = true;
    return 0;
}

void XpcServerConnection::serveUntilDone(sd_bus* bus) {
    const auto silentLimit = static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(options_.silentPeerTimeout).count());
    // Only whole requests count: bytes that never make one buy no time.
    std::uint64_t lastActivity = acceptedAt_;
    for (;;) {
        // sd-bus may hold a whole request in its buffer: drain before waiting.
        const int processed = sd_bus_process(bus, nullptr);
        if (processed < 0) {
            return;
        }
        if (requestArrived_) {
            requestArrived_ = false;
            lastActivity = monotonicMicroseconds();
        }
        if (processed > 0 && monotonicMicroseconds() - lastActivity < silentLimit) {
            continue;
        }
        const std::uint64_t now = monotonicMicroseconds();
        if (now - lastActivity >= silentLimit) {
            return;
        }
        std::uint64_t wakeAt = lastActivity + silentLimit;
        std::uint64_t busTimeout = 0;
        if (sd_bus_get_timeout(bus, &busTimeout) >= 0 && busTimeout < wakeAt) {
            wakeAt = busTimeout;
        }
        const int busEvents = sd_bus_get_events(bus);
        if (busEvents < 0) {
            return;
        }
        pollfd fds[2] = {{sd_bus_get_fd(bus), pollEvents(busEvents), 0}, {stopEvent_.get(), POLLIN, 0}};
        const auto waitMs = static_cast<int>(wakeAt > now ? (wakeAt - now + 999) / 1000 : 0);
        if (::poll(fds, 2, waitMs) < 0 && errno != EINTR) {
            return;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            return;
        }
    }
}

}  // namespace lidora::vmac
