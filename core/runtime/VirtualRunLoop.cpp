#include "core/runtime/VirtualRunLoop.h"

#include <vector>

namespace lidora {

VirtualRunLoop::VirtualRunLoop(TimePoint start) : now_(start) {}

VirtualRunLoop::~VirtualRunLoop() = default;

void VirtualRunLoop::post(std::function<void()> work) {
    posted_.push(std::move(work));
}

Cancellable VirtualRunLoop::scheduleAt(TimePoint when, std::function<void()> work) {
    return timers_->add(when, Duration::zero(), std::move(work));
}

Cancellable VirtualRunLoop::scheduleRepeating(Duration interval, std::function<void()> work) {
    if (interval <= Duration::zero()) {
        interval = Duration(1);
    }
    return timers_->add(now_ + interval, interval, std::move(work));
}

Cancellable VirtualRunLoop::watch(int fd, unsigned events, std::function<void(unsigned)> ready) {
    return watches_.add(fd, events, std::move(ready));
}

bool VirtualRunLoop::signal(int fd, unsigned events) {
    std::vector<std::uint64_t> matching;
    for (const auto& [id, w] : watches_.entries()) {
        if (w->fd == fd && (events & (w->events | FdEvent::Error | FdEvent::HangUp)) != 0) {
            matching.push_back(id);
        }
    }
    for (const auto id : matching) {
        watches_.notify(id, events);
    }
    runUntilIdle();
    return !matching.empty();
}

void VirtualRunLoop::runUntilIdle() {
    for (;;) {
        const bool ranPosted = posted_.runBatch();
        const bool ranTimer = timers_->runOneDue(now_);
        if (!ranPosted && !ranTimer) {
            return;
        }
    }
}

void VirtualRunLoop::advance(Duration by) {
    advanceTo(now_ + by);
}

void VirtualRunLoop::advanceTo(TimePoint when) {
    runUntilIdle();
    for (;;) {
        const auto next = timers_->nextDue();
        if (!next || *next > when) {
            break;
        }
        if (*next > now_) {
            now_ = *next;
        }
        runUntilIdle();
    }
    if (when > now_) {
        now_ = when;
    }
    runUntilIdle();
}

}  // namespace lidora
