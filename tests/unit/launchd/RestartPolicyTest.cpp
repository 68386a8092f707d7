#include <gtest/gtest.h>

#include "core/runtime/VirtualRunLoop.h"
#include "platform/launchd/RestartPolicy.h"

using namespace std::chrono_literals;

namespace lidora::vmac {
namespace {

// Crashes soon after start and keep-alive restarts are covered through Job.
TEST(RestartPolicy, FailureAfterALongRunMayStartAgainAtOnce) {
    VirtualRunLoop clock;
    RestartPolicy policy(10s, false);
    policy.started(clock.now());
    clock.advance(30s);
    const auto decision = policy.exited(clock.now(), false);
    EXPECT_FALSE(decision.discardWaiting);
    EXPECT_EQ(decision.notBefore, clock.now());
}

TEST(RestartPolicy, WaitingConnectionsOfADaemonKilledFromOutsideWaitForTheNextStart) {
    struct Case {
        bool killed;
        Duration ranFor;
        bool refused;
    };
    for (const auto& [killed, ranFor, refused] : std::vector<Case>{
             {false, 100ms, true},  // failed at start: it would fail them again
             {true, 100ms, false},  // killed in the middle of a call: the next instance serves them
             {true, 0ms, false},
             {false, 5s, false},  // the throttle has passed: started again at once
         }) {
        VirtualRunLoop clock;
        RestartPolicy policy(1s, false);
        const auto start = clock.now();
        policy.started(start);
        clock.advance(ranFor);
        const auto decision = policy.exited(clock.now(), false, killed);
        EXPECT_EQ(decision.discardWaiting, refused) << killed << " after " << ranFor.count();
        EXPECT_EQ(decision.notBefore, std::max(start + 1s, clock.now()));
    }
}

TEST(RestartPolicy, CleanExitOfAnOnDemandJobStartsAgainAtOnceUntilABurst) {
    VirtualRunLoop clock;
    RestartPolicy policy(10s, false);
    const auto first = clock.now();
    for (std::size_t i = 0; i + 1 < RestartPolicy::kBurstStarts; ++i) {
        policy.started(clock.now());
        clock.advance(100ms);
        const auto decision = policy.exited(clock.now(), true);
        EXPECT_EQ(decision.notBefore, clock.now()) << i;
        EXPECT_FALSE(decision.discardWaiting || decision.restart);
    }
    // One start too many within the interval: held back, but nobody refused.
    policy.started(clock.now());
    clock.advance(100ms);
    const auto heldBack = policy.exited(clock.now(), true);
    EXPECT_EQ(heldBack.notBefore, first + 10s);
    EXPECT_FALSE(heldBack.discardWaiting);

    // Spread over time, the same number of starts is not a burst.
    RestartPolicy spread(10s, false);
    for (std::size_t i = 0; i < RestartPolicy::kBurstStarts; ++i) {
        spread.started(clock.now());
        clock.advance(3s);
    }
    EXPECT_EQ(spread.exited(clock.now(), true).notBefore, clock.now());
}

}  // namespace
}  // namespace lidora::vmac
