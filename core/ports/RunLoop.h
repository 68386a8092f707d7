#pragma once

#include <functional>

#include "core/runtime/Cancellable.h"
#include "core/runtime/Clock.h"

namespace lidora {

namespace FdEvent {
inline constexpr unsigned Readable = 1U << 0U;
inline constexpr unsigned Writable = 1U << 1U;
inline constexpr unsigned Error = 1U << 2U;
inline constexpr unsigned HangUp = 1U << 3U;
}  // namespace FdEvent

// The main thread's run loop. Everything but post() must be called on the
// loop's own thread; callbacks always run there.
class RunLoop {
public:
    virtual ~RunLoop() = default;

    [[nodiscard]] virtual TimePoint now() const = 0;

    // Runs work soon, after work posted before it. Safe from any thread.
    virtual void post(std::function<void()> work) = 0;

    // One-shot timer. Timers due at the same time run in the order they were
    // scheduled.
    [[nodiscard]] virtual Cancellable scheduleAt(TimePoint when, std::function<void()> work) = 0;

    // Repeating timer, first due one interval from now. A loop that fell
    // behind runs it once, not once per missed interval.
    [[nodiscard]] virtual Cancellable scheduleRepeating(Duration interval, std::function<void()> work) = 0;

    // Calls back with FdEvent bits while the descriptor is ready for any of
    // `events`. The descriptor stays owned by the caller.
    [[nodiscard]] virtual Cancellable watch(int fd, unsigned events, std::function<void(unsigned)> ready) = 0;

    [[nodiscard]] Cancellable scheduleAfter(Duration delay, std::function<void()> work) {
        return scheduleAt(now() + delay, std::move(work));
    }
};

}  // namespace lidora
