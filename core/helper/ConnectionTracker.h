#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "core/ports/RunLoop.h"

namespace lidora {

// Counts the daemon's open connections on one serial queue and runs onIdle
// once no connection has been open for idleTimeout.
class ConnectionTracker : public std::enable_shared_from_this<ConnectionTracker> {
public:
    static constexpr Duration kIdleTimeout = std::chrono::seconds(10);

    static std::shared_ptr<ConnectionTracker> make(RunLoop& queue, Duration idleTimeout, std::function<void()> onIdle);

    // Each hands its work to the queue and returns at once.
    void start();
    void connectionOpened();
    void connectionClosed();

    // For tests and diagnostics; read on the queue.
    [[nodiscard]] std::int64_t openCount() const { return openCount_; }
    [[nodiscard]] bool idleExitPending() const { return pendingIdle_.holdsRegistration(); }

private:
    ConnectionTracker(RunLoop& queue, Duration idleTimeout, std::function<void()> onIdle);
    void onQueue(void (ConnectionTracker::*work)());
    void opened();
    void closed();
    void scheduleIdleExit();

    RunLoop& queue_;
    const Duration idleTimeout_;
    const std::function<void()> onIdle_;
    std::int64_t openCount_ = 0;
    Cancellable pendingIdle_;
};

}  // namespace lidora
