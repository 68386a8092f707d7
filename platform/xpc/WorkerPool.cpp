#include "platform/xpc/WorkerPool.h"

#include <algorithm>

namespace lidora::vmac {

WorkerPool::~WorkerPool() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (auto& thread : threads_) {
        thread.join();
    }
}

bool WorkerPool::submit(std::function<void()> job) {
    const std::lock_guard lock(mutex_);
    const std::size_t unserved = jobs_.size() + 1 > idle_ ? jobs_.size() + 1 - idle_ : 0;
    const std::size_t canStart = maxThreads_ - std::min(maxThreads_, threads_.size());
    if (unserved > canStart + maxWaiting_) {
        return false;
    }
    jobs_.push_back(std::move(job));
    if (unserved > 0 && canStart > 0) {
        threads_.emplace_back([this] { work(); });
    } else {
        wake_.notify_one();
    }
    return true;
}

std::size_t WorkerPool::threadCount() const {
    const std::lock_guard lock(mutex_);
    return threads_.size();
}

void WorkerPool::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        ++idle_;
        wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        --idle_;
        if (jobs_.empty()) {
            return;  // stopping
        }
        auto job = std::move(jobs_.front());
        jobs_.pop_front();
        lock.unlock();
        job();
        lock.lock();
    }
}

}  // namespace lidora::vmac
