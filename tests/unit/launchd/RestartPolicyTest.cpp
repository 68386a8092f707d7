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

TEST(RestartPolicy, FailureSoonAfterStartRefusesWaitingConnectionsOnlyWhenTheHoldIsLong) {
    struct Case {
        std::chrono::seconds throttle;
        Duration ranFor;
        bool refused;
    };
    for (const auto& [throttle, ranFor, refused] : std::vector<Case>{
             {10s, 100ms, true},    // nobody serves them for almost ten seconds
             {10s, 8500ms, false},  // the next instance is under two seconds away
             {1s, 100ms, false},    // a short throttle: they are served within a second
             {1s, 0ms, false},
         }) {
        VirtualRunLoop clock;
        RestartPolicy policy(throttle, false);
        const auto start = clock.now();
        policy.started(start);
        clock.advance(ranFor);
        const auto decision = policy.exited(clock.now(), false);
        EXPECT_EQ(decision.discardWaiting, refused) << throttle.count() << " s, ran " << ranFor.count();
        EXPECT_EQ(decision.notBefore, start + throttle);
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
