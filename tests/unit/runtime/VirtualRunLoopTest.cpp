#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/runtime/VirtualRunLoop.h"

using namespace std::chrono_literals;

namespace lidora {
namespace {

TEST(VirtualRunLoop, NothingRunsUntilAskedAndTimersRunInTimeThenSchedulingOrder) {
    VirtualRunLoop loop;
    std::vector<std::string> ran;
    auto late = loop.scheduleAfter(3s, [&] { ran.push_back("3s"); });
    auto firstAt1 = loop.scheduleAfter(1s, [&] { ran.push_back("1s-a"); });
    auto secondAt1 = loop.scheduleAfter(1s, [&] { ran.push_back("1s-b"); });
    loop.post([&] { ran.push_back("posted"); });
    EXPECT_TRUE(ran.empty());

    loop.advance(999ms);
    EXPECT_EQ(ran, (std::vector<std::string>{"posted"}));
    loop.advance(1ms);
    EXPECT_EQ(ran, (std::vector<std::string>{"posted", "1s-a", "1s-b"}));
    loop.advance(10s);
    EXPECT_EQ(ran.back(), "3s");
    EXPECT_EQ(loop.pendingTimers(), 0U);
}

TEST(VirtualRunLoop, ClockStandsAtEachTimersDueTimeWhileItRuns) {
    VirtualRunLoop loop;
    const auto start = loop.now();
    std::vector<Duration> seen;
    auto a = loop.scheduleAfter(2s, [&] { seen.push_back(loop.now() - start); });
    auto b = loop.scheduleAfter(5s, [&] { seen.push_back(loop.now() - start); });
    loop.advance(1min);
    EXPECT_EQ(seen, (std::vector<Duration>{2s, 5s}));
    EXPECT_EQ(loop.now() - start, 1min);
}

TEST(VirtualRunLoop, CancellingOrDroppingTheHandleStopsTheTimer) {
    VirtualRunLoop loop;
    int fired = 0;
    auto kept = loop.scheduleAfter(1s, [&] { ++fired; });
    kept.cancel();
    {
        auto dropped = loop.scheduleAfter(1s, [&] { ++fired; });
    }
    auto detached = loop.scheduleAfter(1s, [&] { ++fired; });
    detached.detach();
    loop.advance(2s);
    EXPECT_EQ(fired, 1);
}

TEST(VirtualRunLoop, TimerMayCancelAnotherDueAtTheSameMomentOrItself) {
    VirtualRunLoop loop;
    int secondRan = 0;
    int repeats = 0;
    Cancellable second;
    Cancellable repeating;
    auto first = loop.scheduleAfter(1s, [&] { second.cancel(); });
    second = loop.scheduleAfter(1s, [&] { ++secondRan; });
    repeating = loop.scheduleRepeating(1s, [&] {
        if (++repeats == 3) {
            repeating.cancel();
        }
    });
    loop.advance(10s);
    EXPECT_EQ(secondRan, 0);
    EXPECT_EQ(repeats, 3);
}

TEST(VirtualRunLoop, RepeatingTimerKeepsItsCadenceAndWorkScheduledByATimerRunsInOrder) {
    VirtualRunLoop loop;
    const auto start = loop.now();
    std::vector<Duration> ticks;
    std::vector<Cancellable> chained;
    auto repeating = loop.scheduleRepeating(60s, [&] {
        ticks.push_back(loop.now() - start);
        // A timer scheduled from a callback for "now" still runs in this advance.
        chained.push_back(loop.scheduleAfter(0s, [&] { ticks.push_back(-(loop.now() - start)); }));
    });
    loop.advance(180s);
    EXPECT_EQ(ticks, (std::vector<Duration>{60s, -60s, 120s, -120s, 180s, -180s}));
}

TEST(VirtualRunLoop, HandleOutlivingTheLoopIsHarmless) {
    Cancellable handle;
    {
        VirtualRunLoop loop;
        handle = loop.scheduleAfter(1s, [] {});
    }
    handle.cancel();
    EXPECT_FALSE(handle.holdsRegistration());
}

TEST(VirtualRunLoop, WatchesHearSignalledReadinessUntilCancelled) {
    VirtualRunLoop loop;
    std::vector<unsigned> heard;
    auto watch = loop.watch(7, FdEvent::Readable, [&](unsigned events) { heard.push_back(events); });
    EXPECT_FALSE(loop.signal(7, FdEvent::Writable));
    EXPECT_TRUE(loop.signal(7, FdEvent::Readable));
    EXPECT_TRUE(loop.signal(7, FdEvent::HangUp));
    watch.cancel();
    EXPECT_FALSE(loop.signal(7, FdEvent::Readable));
    EXPECT_EQ(heard, (std::vector<unsigned>{FdEvent::Readable, FdEvent::HangUp}));
}

}  // namespace
}  // namespace lidora
