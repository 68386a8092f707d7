#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "core/runtime/Registry.h"

namespace lidora {

// Descriptor watches of a run loop, keyed by registration.
class WatchRegistry {
public:
    struct Watch {
        int fd;
        unsigned events;
        std::function<void(unsigned)> ready;
    };

    Cancellable add(int fd, unsigned events, std::function<void(unsigned)> ready) {
        return watches_.add(Watch{fd, events, std::move(ready)});
    }

    [[nodiscard]] Registry<Watch>::Snapshot entries() const { return watches_.snapshot(); }
    // Calls the watch unless an earlier callback cancelled it.
    void notify(std::uint64_t id, unsigned events) const {
        if (const auto watch = watches_.find(id)) {
            watch->ready(events);
        }
    }

private:
    Registry<Watch> watches_;
};

// Work posted to a run loop from any thread, run in order.
class PostQueue {
public:
    // Returns whether the queue was empty before, so the poster knows to wake
    // the loop.
    bool push(std::function<void()> work) {
        const std::lock_guard lock(mutex_);
        posted_.push_back(std::move(work));
        return posted_.size() == 1;
    }
    // Runs what was posted before the call; work it posts waits for the next.
    bool runBatch() {
        std::deque<std::function<void()>> batch;
        {
            const std::lock_guard lock(mutex_);
            batch.swap(posted_);
        }
        for (auto& work : batch) {
            work();
        }
        return !batch.empty();
    }
    [[nodiscard]] bool empty() const {
        const std::lock_guard lock(mutex_);
        return posted_.empty();
    }

private:
    mutable std::mutex mutex_;
    std::deque<std::function<void()>> posted_;
};

}  // namespace lidora
