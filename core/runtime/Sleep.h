#pragma once

#include <coroutine>

#include "core/ports/RunLoop.h"

namespace lidora {

// co_await sleepFor(loop, 5s): resumes on the loop after the delay. Destroying
// the suspended coroutine cancels the timer.
class SleepAwaiter {
public:
    SleepAwaiter(RunLoop& loop, TimePoint until) : loop_(loop), until_(until) {}
    [[nodiscard]] bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> handle) {
        timer_ = loop_.scheduleAt(until_, [handle] { handle.resume(); });
    }
    void await_resume() const noexcept {}

private:
    RunLoop& loop_;
    TimePoint until_;
    Cancellable timer_;
};

inline SleepAwaiter sleepFor(RunLoop& loop, Duration delay) {
    return {loop, loop.now() + delay};
}
inline SleepAwaiter sleepUntil(RunLoop& loop, TimePoint when) {
    return {loop, when};
}

}  // namespace lidora
