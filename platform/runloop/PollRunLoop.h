#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include "core/ports/RunLoop.h"
#include "core/runtime/LoopParts.h"
#include "core/runtime/TimerQueue.h"

namespace lidora::vmac {

// The run loop of daemons and command-line programs: poll(2) over the
// watched descriptors, an eventfd for posts from other threads, and timers
// on the continuous clock.
class PollRunLoop final : public RunLoop {
public:
    PollRunLoop();
    ~PollRunLoop() override;
    PollRunLoop(const PollRunLoop&) = delete;
    PollRunLoop& operator=(const PollRunLoop&) = delete;

    [[nodiscard]] TimePoint now() const override { return ContinuousClock::now(); }
    void post(std::function<void()> work) override;
    [[nodiscard]] Cancellable scheduleAt(TimePoint when, std::function<void()> work) override;
    [[nodiscard]] Cancellable scheduleRepeating(Duration interval, std::function<void()> work) override;
    [[nodiscard]] Cancellable watch(int fd, unsigned events, std::function<void(unsigned)> ready) override;

    // Runs until stop(). Returns at once if stop() came first.
    void run();
    // Runs until stop() or until `deadline`, whichever is first.
    void runUntil(TimePoint deadline);
    // Safe from any thread and from signal-free contexts.
    void stop();

private:
    void iterate(TimePoint deadline);
    void wake();

    std::shared_ptr<TimerQueue> timers_ = std::make_shared<TimerQueue>();
    WatchRegistry watches_;
    int wakeFd_ = -1;
    PostQueue posted_;
    std::atomic<bool> stopRequested_{false};
    // The thread inside run(): its own posts need no wake-up, as it looks at
    // the queue before it next waits.
    std::atomic<std::thread::id> runningOn_{};
};

}  // namespace lidora::vmac
