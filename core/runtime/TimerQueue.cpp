#include "core/runtime/TimerQueue.h"

namespace lidora {

Cancellable TimerQueue::add(TimePoint due, Duration interval, std::function<void()> work) {
    const std::uint64_t id = nextId_++;
    const Key key{due, nextSequence_++, id};
    order_.insert(key);
    timers_.emplace(id, Timer{key, interval, std::make_shared<std::function<void()>>(std::move(work))});
    return Cancellable(weak_from_this(), id);
}

void TimerQueue::cancel(std::uint64_t id) {
    const auto found = timers_.find(id);
    if (found == timers_.end()) {
        return;
    }
    order_.erase(found->second.key);
    timers_.erase(found);
}

std::optional<TimePoint> TimerQueue::nextDue() const {
    if (order_.empty()) {
        return std::nullopt;
    }
    return order_.begin()->due;
}

bool TimerQueue::runOneDue(TimePoint now) {
    if (order_.empty() || order_.begin()->due > now) {
        return false;
    }
    const Key key = *order_.begin();
    order_.erase(order_.begin());
    auto found = timers_.find(key.id);
    // Keep the callable alive even if the timer cancels itself while running.
    const auto work = found->second.work;
    if (found->second.interval > Duration::zero()) {
        TimePoint next = key.due + found->second.interval;
        if (next <= now) {
            next = now + found->second.interval;
        }
        found->second.key = Key{next, nextSequence_++, key.id};
        order_.insert(found->second.key);
    } else {
        timers_.erase(found);
    }
    (*work)();
    return true;
}

}  // namespace lidora
