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

TEST(WorkerPool, APrestartedThreadServesTheFirstJob) {
    const struct {
        std::size_t maxThreads;
        int prestarts;
        std::size_t threadsBeforeJobs;
    } cases[] = {
        {2, 1, 1},
        {2, 3, 1},  // only while there is no thread yet
        {0, 1, 0},  // a pool that may have none gets none
    };
    for (const auto& c : cases) {
        WorkerPool pool(c.maxThreads, 1);
        for (int i = 0; i < c.prestarts; ++i) {
            pool.prestart();
        }
        EXPECT_EQ(pool.threadCount(), c.threadsBeforeJobs);
        if (c.maxThreads == 0) {
            continue;
        }
        // Submitted at once, maybe before the thread first waits: still its.
        std::promise<void> ran;
        ASSERT_TRUE(pool.submit([&] { ran.set_value(); }));
        ran.get_future().wait();
        EXPECT_EQ(pool.threadCount(), 1U) << "the first job needs no second thread";
    }
}

}  // namespace
}  // namespace lidora::vmac
