#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace lidora::vmac {

// Threads that serve connections, each running one job at a time. A job goes
// to an idle thread when there is one and to a new thread otherwise, so a new
// connection rarely pays for creating a thread. Threads stay until the pool
// goes: a daemon's life is short and its peak of connections small.
class WorkerPool {
public:
    WorkerPool() = default;
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;
    // Waits for running jobs; their owners must have told them to stop.
    ~WorkerPool();

    void submit(std::function<void()> job);

    [[nodiscard]] std::size_t threadCount() const;

private:
    void work();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    std::size_t idle_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace lidora::vmac
