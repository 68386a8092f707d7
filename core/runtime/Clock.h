#pragma once

#include <chrono>

namespace lidora {

using Duration = std::chrono::nanoseconds;

// Monotonic time that keeps counting while the machine sleeps, like the
// system's continuous clock. Timers of every run loop are on this clock.
struct ContinuousClock {
    using rep = Duration::rep;
    using period = Duration::period;
    using duration = Duration;
    using time_point = std::chrono::time_point<ContinuousClock, Duration>;
    static constexpr bool is_steady = true;
    static time_point now() noexcept;
};

using TimePoint = ContinuousClock::time_point;

}  // namespace lidora
