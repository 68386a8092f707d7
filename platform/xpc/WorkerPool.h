#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace lidora::vmac {

// Threads that serve connections, each running one job at a time. A job goes
// to an idle thread when there is one and to a new thread otherwise, up to
// `maxThreads`; beyond that up to `maxWaiting` jobs wait for a thread and
// further ones are refused, so no client can make the daemon spawn without
// bound. Threads stay until the pool goes: a daemon's life is short.
class WorkerPool {
public:
    explicit WorkerPool(std::size_t maxThreads = 16, std::size_t maxWaiting = 32)
        : maxThreads_(maxThreads), maxWaiting_(maxWaiting) {}
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;
    // Waits for running jobs; their owners must have told them to stop.
    ~WorkerPool();

    // False, and the job dropped, when every thread is busy and the queue full.
    [[nodiscard]] bool submit(std::function<void()> job);

    [[nodiscard]] std::size_t threadCount() const;

private:
    void work();

    const std::size_t maxThreads_;
    const std::size_t maxWaiting_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    std::size_t idle_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace lidora::vmac
