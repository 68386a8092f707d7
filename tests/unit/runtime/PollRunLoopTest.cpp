#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "platform/runloop/PollRunLoop.h"

using namespace std::chrono_literals;

namespace lidora::vmac {
namespace {

// These run on the real clock, so they check order and delivery only, never
// how long anything took.

TEST(PollRunLoop, RunsPostsFromOtherThreadsThenTimersInOrderAndStops) {
    PollRunLoop loop;
    std::vector<int> order;
    auto second = loop.scheduleAfter(2ms, [&] { order.push_back(2); });
    auto first = loop.scheduleAfter(1ms, [&] { order.push_back(1); });
    auto last = loop.scheduleAfter(3ms, [&] {
        order.push_back(3);
        loop.stop();
    });
    std::thread poster([&] { loop.post([&] { order.push_back(0); }); });
    poster.join();
    loop.run();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
}

// The loop's own posts do not wake it: it must look at the queue before it
// waits, or this would sleep to the deadline.
TEST(PollRunLoop, WorkPostedOnTheLoopRunsBeforeItWaitsAgain) {
    PollRunLoop loop;
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::vector<int> order;
    auto watch = loop.watch(fds[0], FdEvent::Readable, [&](unsigned) {
        char byte = 0;
        ASSERT_EQ(::read(fds[0], &byte, 1), 1);
        loop.post([&] {
            order.push_back(1);
            loop.post([&] {
                order.push_back(2);
                loop.stop();
            });
        });
    });
    ASSERT_EQ(::write(fds[1], "x", 1), 1);
    const auto deadline = loop.now() + 60s;
    loop.runUntil(deadline);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_LT(loop.now(), deadline);
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(PollRunLoop, WatchReportsReadableDescriptorsAndCancelledWatchesStaySilent) {
    PollRunLoop loop;
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    int heard = 0;
    int silentHeard = 0;
    auto silent = loop.watch(fds[0], FdEvent::Readable, [&](unsigned) { ++silentHeard; });
    silent.cancel();
    auto watch = loop.watch(fds[0], FdEvent::Readable, [&](unsigned events) {
        EXPECT_NE(events & FdEvent::Readable, 0U);
        char byte = 0;
        ASSERT_EQ(::read(fds[0], &byte, 1), 1);
        ++heard;
        loop.stop();
    });
    ASSERT_EQ(::write(fds[1], "x", 1), 1);
    loop.run();
    EXPECT_EQ(heard, 1);
    EXPECT_EQ(silentHeard, 0);
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(PollRunLoop, RunUntilReturnsAtTheDeadlineAndRepeatingTimersRepeat) {
    PollRunLoop loop;
    int ticks = 0;
    auto repeating = loop.scheduleRepeating(1ms, [&] {
        if (++ticks == 3) {
            loop.stop();
        }
    });
    loop.run();
    EXPECT_EQ(ticks, 3);
    repeating.cancel();
    loop.runUntil(loop.now() + 2ms);
    EXPECT_EQ(ticks, 3);
}

}  // namespace
}  // namespace lidora::vmac
