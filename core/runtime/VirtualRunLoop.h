#pragma once

#include <memory>

#include "core/ports/RunLoop.h"
#include "core/runtime/LoopParts.h"
#include "core/runtime/TimerQueue.h"

namespace lidora {

// A run loop whose clock moves only when told to. Nothing runs by itself:
// advance() and runUntilIdle() run posted work and due timers in time order.
class VirtualRunLoop final : public RunLoop {
public:
    explicit VirtualRunLoop(TimePoint start = TimePoint(std::chrono::hours(1)));
    ~VirtualRunLoop() override;

    [[nodiscard]] TimePoint now() const override { return now_; }
    void post(std::function<void()> work) override;
    [[nodiscard]] Cancellable scheduleAt(TimePoint when, std::function<void()> work) override;
    [[nodiscard]] Cancellable scheduleRepeating(Duration interval, std::function<void()> work) override;
    [[nodiscard]] Cancellable watch(int fd, unsigned events, std::function<void(unsigned)> ready) override;

    // Runs posted work and timers due now, without moving the clock.
    void runUntilIdle();
    // Moves the clock forward, stopping at each due timer in turn.
    void advance(Duration by);
    void advanceTo(TimePoint when);

    // Plays readiness of a watched descriptor; returns whether a watch took it.
    bool signal(int fd, unsigned events);

    [[nodiscard]] std::size_t pendingTimers() const { return timers_->size(); }
    [[nodiscard]] std::optional<TimePoint> nextTimer() const { return timers_->nextDue(); }

private:
    TimePoint now_;
    std::shared_ptr<TimerQueue> timers_ = std::make_shared<TimerQueue>();
    WatchRegistry watches_;
    PostQueue posted_;
};

}  // namespace lidora
