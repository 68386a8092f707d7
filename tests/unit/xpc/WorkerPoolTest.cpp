#include <gtest/gtest.h>

#include <future>
#include <latch>

#include "platform/xpc/WorkerPool.h"

namespace lidora::vmac {
namespace {

TEST(WorkerPool, RefusesJobsBeyondItsThreadsAndQueue) {
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    std::latch started(2);
    std::latch finished(3);
    {
        WorkerPool pool(2, 1);
        const auto blocked = [&] {
            started.count_down();
            released.wait();
            finished.count_down();
        };
        EXPECT_TRUE(pool.submit(blocked));
        EXPECT_TRUE(pool.submit(blocked));
        started.wait();
        EXPECT_TRUE(pool.submit([&] { finished.count_down(); })) << "waits for a thread";
        EXPECT_FALSE(pool.submit([] {})) << "the queue is full";
        EXPECT_EQ(pool.threadCount(), 2U);

        release.set_value();
        finished.wait();
        std::promise<void> ran;
        EXPECT_TRUE(pool.submit([&] { ran.set_value(); })) << "room again once the jobs are done";
        ran.get_future().wait();
        EXPECT_EQ(pool.threadCount(), 2U);
    }
}

}  // namespace
}  // namespace lidora::vmac
