#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "core/runtime/Cancellable.h"

namespace lidora {

// Descriptor watches of a run loop, keyed by registration.
class WatchRegistry final : public CancelTarget, public std::enable_shared_from_this<WatchRegistry> {
public:
    struct Watch {
        int fd;
        unsigned events;
        std::shared_ptr<std::function<void(unsigned)>> ready;
    };

    Cancellable add(int fd, unsigned events, std::function<void(unsigned)> ready) {
        const std::uint64_t id = nextId_++;
        entries_.emplace(id, Watch{fd, events, std::make_shared<std::function<void(unsigned)>>(std::move(ready))});
        return Cancellable(weak_from_this(), id);
    }
    void cancel(std::uint64_t id) override { entries_.erase(id); }

    [[nodiscard]] const std::map<std::uint64_t, Watch>& entries() const { return entries_; }
    // Calls the watch unless an earlier callback cancelled it.
    void notify(std::uint64_t id, unsigned events) const {
        const auto found = entries_.find(id);
        if (found != entries_.end()) {
            const auto ready = found->second.ready;
            (*ready)(events);
        }
    }

private:
    std::map<std::uint64_t, Watch> entries_;
    std::uint64_t nextId_ = 1;
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
