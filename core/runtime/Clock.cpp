#include "core/runtime/Clock.h"

#include <time.h>

namespace lidora {

ContinuousClock::time_point ContinuousClock::now() noexcept {
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return time_point(std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec));
}

}  // namespace lidora
