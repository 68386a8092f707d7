#pragma once

#include <cstddef>
#include <deque>

#include "core/runtime/Clock.h"

namespace lidora::vmac {

// Decides when a job may start again once an instance has ended. It only
// sees the times it is given, so it runs alike on any clock.
//
// - A failed instance (non-zero status or a signal) may not start again
//   before the throttle interval has passed since its start; connections
//   already waiting are refused, as nobody will serve them soon. Those of
//   an instance killed from outside (SIGKILL) are held for the next one
//   instead: the daemon did not fail, so the next start is likely to serve.
// - An on-demand instance that exited cleanly may start again at once, so
//   a call that arrived while it exited is served; only a burst of starts
//   (a daemon that exits without serving) is held back, never refused.
// - A KeepAlive job starts again after every exit, at most once a throttle
//   interval.
class RestartPolicy {
public:
    static constexpr std::size_t kBurstStarts = 5;

    struct Decision {
        TimePoint notBefore;
        bool restart = false;  // without waiting for a connection
        bool discardWaiting = false;
    };

    RestartPolicy(Duration throttleInterval, bool keepAlive) : throttle_(throttleInterval), keepAlive_(keepAlive) {}

    void started(TimePoint at);
    [[nodiscard]] Decision exited(TimePoint at, bool clean, bool killed = false) const;

private:
    Duration throttle_;
    bool keepAlive_;
    std::deque<TimePoint> starts_;  // the most recent ones, oldest first
};

}  // namespace lidora::vmac
