#pragma once

#include <cstddef>
#include <functional>
#include <mutex>

#include "core/runtime/Clock.h"
#include "core/runtime/Logger.h"

namespace lidora {

// What a daemon lets through of refusals a client can provoke at will.
inline constexpr std::size_t kRefusalLinesPerWindow = 20;
inline constexpr Duration kRefusalWindow = std::chrono::seconds(10);

// Lets a burst of like log lines through, then holds the rest back and counts
// them, so a client that provokes refusals on purpose cannot flood the log
// and rotate other records away. Safe to use from several threads.
class LogThrottle {
public:
    struct Admission {
        bool write = false;
        // Lines held back since the last one written; worth a line of its own.
        std::size_t heldBack = 0;
        friend bool operator==(const Admission&, const Admission&) = default;
    };

    LogThrottle(std::size_t linesPerWindow, Duration window, std::function<TimePoint()> now = ContinuousClock::now)
        : linesPerWindow_(linesPerWindow), window_(window), now_(std::move(now)) {}

    Admission admit() {
        const std::lock_guard lock(mutex_);
        const auto now = now_();
        if (written_ == 0 || now - windowStart_ >= window_) {
            windowStart_ = now;
            written_ = 0;
        }
        if (written_ >= linesPerWindow_) {
            ++heldBack_;
            return {};
        }
        ++written_;
        const Admission admission{true, heldBack_};
        heldBack_ = 0;
        return admission;
    }

private:
    std::size_t linesPerWindow_;
    Duration window_;
    std::function<TimePoint()> now_;
    std::mutex mutex_;
    TimePoint windowStart_{};
    std::size_t written_ = 0;
    std::size_t heldBack_ = 0;
};

// Runs `write` when the throttle lets it through, after a line that counts
// the ones held back before it.
template <typename Write>
void logThrottled(LogThrottle& throttle, const Logger& log, Write&& write) {
    const auto admission = throttle.admit();
    if (!admission.write) {
        return;
    }
    if (admission.heldBack > 0) {
        log.error("%lu more like it were not logged", static_cast<unsigned long>(admission.heldBack));
    }
    write();
}

}  // namespace lidora
