#include "core/helper/ConnectionTracker.h"

namespace lidora {

std::shared_ptr<ConnectionTracker> ConnectionTracker::make(RunLoop& queue, Duration idleTimeout,
                                                           std::function<void()> onIdle) {
    return std::shared_ptr<ConnectionTracker>(new ConnectionTracker(queue, idleTimeout, std::move(onIdle)));
}

ConnectionTracker::ConnectionTracker(RunLoop& queue, Duration idleTimeout, std::function<void()> onIdle)
    : queue_(queue), idleTimeout_(idleTimeout), onIdle_(std::move(onIdle)) {}

void ConnectionTracker::onQueue(void (ConnectionTracker::*work)()) {
    queue_.post([weak = weak_from_this(), work] {
        if (auto self = weak.lock()) {
            ((*self).*work)();
        }
    });
}

void ConnectionTracker::start() {
    onQueue(&ConnectionTracker::scheduleIdleExit);
}
void ConnectionTracker::connectionOpened() {
    onQueue(&ConnectionTracker::opened);
}
void ConnectionTracker::connectionClosed() {
    onQueue(&ConnectionTracker::closed);
}

void ConnectionTracker::opened() {
    ++openCount_;
    pendingIdle_.cancel();
}

void ConnectionTracker::closed() {
    if (openCount_ > 0) {
        --openCount_;
    }
    scheduleIdleExit();
}

void ConnectionTracker::scheduleIdleExit() {
    if (openCount_ != 0) {
        return;
    }
    pendingIdle_ = queue_.scheduleAfter(idleTimeout_, [weak = weak_from_this()] {
        if (auto self = weak.lock()) {
            self->onIdle_();
        }
    });
}

}  // namespace lidora
