#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/runtime/Completion.h"
#include "core/runtime/Sleep.h"
#include "core/runtime/Spawn.h"
#include "core/runtime/Task.h"
#include "core/runtime/VirtualRunLoop.h"
#include "tests/support/StartedTask.h"

using namespace std::chrono_literals;

namespace lidora {
namespace {

Task<int> answerAfter(RunLoop& loop, Duration delay, int value) {
    co_await sleepFor(loop, delay);
    co_return value;
}

Task<int> failing() {
    throw std::runtime_error("boom");
    co_return 0;
}

Task<void> record(RunLoop& loop, std::vector<std::string>& log, std::string name, Duration delay) {
    log.push_back(name + " start");
    const int value = co_await answerAfter(loop, delay, 7);
    log.push_back(
        name + " got " + std::to_string(value) + " at " +
        std::to_string(std::chrono::duration_cast<std::chrono::seconds>(loop.now().time_since_epoch()).count()));
}

TEST(Task, SpawnedTasksStartOnTheLoopAndResumeWhenTheirSleepsEnd) {
    VirtualRunLoop loop(TimePoint(0s));
    std::vector<std::string> log;
    spawn(loop, record(loop, log, "slow", 5s));
    spawn(loop, record(loop, log, "fast", 2s));
    EXPECT_TRUE(log.empty()) << "spawn only posts";
    loop.runUntilIdle();
    EXPECT_EQ(log, (std::vector<std::string>{"slow start", "fast start"}));
    loop.advance(2s);
    EXPECT_EQ(log.back(), "fast got 7 at 2");
    loop.advance(3s);
    EXPECT_EQ(log.back(), "slow got 7 at 5");
    EXPECT_EQ(loop.pendingTimers(), 0U);
}

Task<void> catchFailure(std::string& out) {
    try {
        co_await failing();
    } catch (const std::runtime_error& e) {
        out = e.what();
    }
}

TEST(Task, ExceptionsReachTheAwaiter) {
    VirtualRunLoop loop;
    std::string caught;
    spawn(loop, catchFailure(caught));
    loop.runUntilIdle();
    EXPECT_EQ(caught, "boom");
}

Task<void> sleeper(RunLoop& loop, bool& finished) {
    co_await sleepFor(loop, 10s);
    finished = true;
}

TEST(Task, DestroyingASuspendedTaskCancelsItsTimer) {
    VirtualRunLoop loop;
    bool finished = false;
    auto started = std::make_unique<testing::StartedTask>(testing::start(sleeper(loop, finished)));
    EXPECT_EQ(loop.pendingTimers(), 1U);
    started.reset();
    EXPECT_EQ(loop.pendingTimers(), 0U);
    loop.advance(20s);
    EXPECT_FALSE(finished);
}

Task<std::string> firstOf(Completion<std::string> completion, std::vector<std::string>& trace) {
    trace.push_back("waiting");
    std::string result = co_await completion;
    trace.push_back("resumed with " + result);
    co_return result;
}

Task<void> collect(Task<std::string> inner, std::string& out) {
    out = co_await std::move(inner);
}

TEST(Completion, FirstResolutionWinsAndTheWaiterResumesFromTheLoop) {
    VirtualRunLoop loop;
    Completion<std::string> completion(loop);
    std::vector<std::string> trace;
    std::string out;
    spawn(loop, collect(firstOf(completion, trace), out));
    loop.runUntilIdle();
    auto timeout = loop.scheduleAfter(5s, [completion] { completion.resolve("timed out"); });

    loop.advance(1s);
    EXPECT_TRUE(completion.resolve("reply"));
    EXPECT_EQ(trace, (std::vector<std::string>{"waiting"})) << "never resumed inside resolve()";
    EXPECT_FALSE(completion.resolve("late error"));
    loop.runUntilIdle();
    EXPECT_EQ(out, "reply");
    loop.advance(10s);
    EXPECT_EQ(out, "reply") << "a later time-out changes nothing";
}

TEST(Completion, AlreadyResolvedDoesNotSuspend) {
    VirtualRunLoop loop;
    Completion<std::string> completion(loop);
    completion.resolve("early");
    std::vector<std::string> trace;
    std::string out;
    spawn(loop, collect(firstOf(completion, trace), out));
    loop.runUntilIdle();
    EXPECT_EQ(out, "early");
}

TEST(Completion, ResolvingAfterTheWaiterWasDestroyedResumesNothing) {
    VirtualRunLoop loop;
    Completion<std::string> completion(loop);
    std::vector<std::string> trace;
    std::string out;
    {
        auto started = testing::start(collect(firstOf(completion, trace), out));
        EXPECT_EQ(trace.size(), 1U);
    }
    completion.resolve("orphan");
    loop.runUntilIdle();
    EXPECT_EQ(trace.size(), 1U);
    EXPECT_TRUE(out.empty());
}

}  // namespace
}  // namespace lidora
