#include "platform/xpc/WorkerPool.h"

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

void WorkerPool::submit(std::function<void()> job) {
    const std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
    if (idle_ >= jobs_.size()) {
        wake_.notify_one();
    } else {
        threads_.emplace_back([this] { work(); });
    }
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
