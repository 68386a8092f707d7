#include <gtest/gtest.h>

#include <memory>

#include "core/helper/ConnectionTracker.h"
#include "core/runtime/VirtualRunLoop.h"

using namespace std::chrono_literals;

namespace lidora {
namespace {

class ConnectionTrackerTest : public ::testing::Test {
protected:
    Duration idleAfter() const { return idleAt ? *idleAt - start : Duration::max(); }

    VirtualRunLoop queue;
    TimePoint start = queue.now();
    std::optional<TimePoint> idleAt;
    std::shared_ptr<ConnectionTracker> tracker =
        ConnectionTracker::make(queue, ConnectionTracker::kIdleTimeout, [this] { idleAt = queue.now(); });
};

TEST_F(ConnectionTrackerTest, ADaemonNoClientReachesEndsTenSecondsAfterStart) {
    tracker->start();
    queue.advance(9999ms);
    EXPECT_FALSE(idleAt);
    queue.advance(1ms);
    EXPECT_EQ(idleAfter(), 10s);
}

TEST_F(ConnectionTrackerTest, IdleTimeRunsFromTheDisconnectNotTheConnect) {
    tracker->start();
    queue.advance(3s);
    tracker->connectionOpened();
    queue.advance(20s);
    EXPECT_FALSE(idleAt) << "never idle while a connection is open";
    tracker->connectionClosed();
    queue.advance(10s);
    EXPECT_EQ(idleAfter(), 33s);
}

TEST_F(ConnectionTrackerTest, OverlappingClientsArmTheTimerOnlyAfterBothAreGone) {
    tracker->start();
    tracker->connectionOpened();
    tracker->connectionOpened();
    queue.advance(1s);
    tracker->connectionClosed();
    queue.advance(15s);
    EXPECT_FALSE(idleAt);
    EXPECT_EQ(tracker->openCount(), 1);
    tracker->connectionClosed();
    queue.advance(9s);
    EXPECT_FALSE(idleAt);
    queue.advance(1s);
    EXPECT_EQ(idleAfter(), 26s);
}

TEST_F(ConnectionTrackerTest, AConnectionArrivingJustBeforeTheDeadlineCancelsIt) {
    tracker->start();
    queue.advance(9s);
    tracker->connectionOpened();
    queue.advance(5s);
    EXPECT_FALSE(idleAt);
    EXPECT_FALSE(tracker->idleExitPending());
}

TEST_F(ConnectionTrackerTest, SurplusClosesNeverDriveTheCountBelowZero) {
    // A refused peer's invalidation is balanced; an extra close must not make
    // the next real connection look idle.
    tracker->connectionClosed();
    tracker->connectionClosed();
    tracker->connectionOpened();
    queue.advance(30s);
    EXPECT_EQ(tracker->openCount(), 1);
    EXPECT_FALSE(idleAt);
}

TEST_F(ConnectionTrackerTest, WorkPostedAfterTheTrackerIsGoneDoesNothing) {
    tracker->connectionOpened();
    tracker.reset();
    queue.advance(30s);
    EXPECT_FALSE(idleAt);
}

}  // namespace
}  // namespace lidora
