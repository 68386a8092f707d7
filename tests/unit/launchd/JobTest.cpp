#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>

#include <filesystem>

#include "core/runtime/VirtualRunLoop.h"
#include "platform/launchd/Job.h"
#include "tests/support/RecordingLogSink.h"
#include "tests/support/TempDir.h"

using namespace std::chrono_literals;

namespace lidora::vmac {
namespace {

int exitedWith(int status) {
    return status << 8;
}
int killedBy(int signal) {
    return signal;
}

class FakeProcesses final : public JobProcesses {
public:
    Expected<pid_t, std::string> start(const LaunchJob&, const std::vector<int>& fds) override {
        passedFds.push_back(fds.size());
        if (failStarts) {
            return unexpected(std::string("cannot execute"));
        }
        return nextPid++;
    }
    void signal(pid_t pid, int signal) override { signals.emplace_back(pid, signal); }
    void ended(const LaunchJob&, pid_t pid) override { endedPids.push_back(pid); }

    pid_t nextPid = 100;
    bool failStarts = false;
    std::vector<std::size_t> passedFds;
    std::vector<std::pair<pid_t, int>> signals;
    std::vector<pid_t> endedPids;
};

class JobOnVirtualClock : public ::testing::Test {
protected:
    std::unique_ptr<Job> makeJob(bool keepAlive, std::chrono::seconds throttle = 10s) {
        LaunchJob description;
        description.label = "com.zelquin.test";
        description.program = "/bin/true";
        description.machServices = {"com.zelquin.test"};
        description.keepAlive = keepAlive;
        description.throttleInterval = throttle;
        auto socket = ListeningSocket::listen(socketPath, 0666);
        EXPECT_TRUE(socket) << socket.error();
        EXPECT_TRUE(socket->publish());
        listeningFd = socket->fd();
        std::vector<ListeningSocket> sockets;
        sockets.push_back(std::move(socket).value());
        return std::make_unique<Job>(loop, description, std::move(sockets), processes,
                                     Logger(log, "com.zelquin.vmac", "launchd"));
    }

    // A client whose connection waits in the socket's queue.
    FileDescriptor connectClient() const {
        auto client = connectUnix(socketPath);
        EXPECT_TRUE(client) << client.error().message;
        return client ? std::move(client).value() : FileDescriptor();
    }

    testing::TempDir dir;
    std::filesystem::path socketPath = dir.path() / "svc";
    VirtualRunLoop loop;
    FakeProcesses processes;
    std::shared_ptr<testing::RecordingLogSink> log = std::make_shared<testing::RecordingLogSink>();
    int listeningFd = -1;
};

TEST_F(JobOnVirtualClock, StartsOnTheFirstConnectionAndAgainAtOnceAfterACleanExit) {
    auto job = makeJob(false);
    job->load();
    EXPECT_TRUE(job->watching());
    EXPECT_TRUE(processes.passedFds.empty());

    EXPECT_TRUE(loop.signal(listeningFd, FdEvent::Readable));
    EXPECT_EQ(job->pid(), 100);
    EXPECT_EQ(processes.passedFds, (std::vector<std::size_t>{1}));
    // The instance accepts by itself now.
    EXPECT_FALSE(loop.signal(listeningFd, FdEvent::Readable));

    loop.advance(300ms);
    job->instanceExited(exitedWith(0));
    EXPECT_EQ(processes.endedPids, (std::vector<pid_t>{100}));
    EXPECT_EQ(job->lastExitStatus(), 0);
    // A call that came in while it exited: served by a new instance, no waiting.
    EXPECT_TRUE(loop.signal(listeningFd, FdEvent::Readable));
    EXPECT_EQ(job->pid(), 101);
}

TEST_F(JobOnVirtualClock, CrashAtStartFailsWaitingClientsAndWaitsOutTheThrottle) {
    auto job = makeJob(false, 3s);
    job->load();
    const auto client = connectClient();
    loop.signal(listeningFd, FdEvent::Readable);
    ASSERT_EQ(job->pid(), 100);
    loop.advance(50ms);
    job->instanceExited(exitedWith(1));
    EXPECT_EQ(job->lastExitStatus(), 1);

    char byte = 0;
    EXPECT_EQ(::recv(client.get(), &byte, 1, MSG_DONTWAIT), 0) << "the waiting client should see end of file";
    EXPECT_FALSE(job->watching());
    loop.advance(3s - 50ms - 1ms);
    EXPECT_FALSE(job->watching());
    loop.advance(1ms);
    EXPECT_TRUE(job->watching());
}

TEST_F(JobOnVirtualClock, AProgramThatCannotStartIsThrottledLikeACrash) {
    processes.failStarts = true;
    auto job = makeJob(false, 2s);
    job->load();
    loop.signal(listeningFd, FdEvent::Readable);
    EXPECT_FALSE(job->pid());
    EXPECT_FALSE(job->watching());
    EXPECT_EQ(log->records.front().level, LogLevel::Error);
    loop.advance(2s);
    EXPECT_TRUE(job->watching());
}

TEST_F(JobOnVirtualClock, KeepAliveStartsAtLoadAndRestartsAtMostOncePerInterval) {
    auto job = makeJob(true, 1s);
    job->load();
    EXPECT_EQ(job->pid(), 100);
    loop.advance(200ms);
    job->instanceExited(killedBy(SIGKILL));
    EXPECT_EQ(job->lastExitStatus(), -SIGKILL);
    loop.advance(799ms);
    EXPECT_FALSE(job->pid());
    loop.advance(1ms);
    EXPECT_EQ(job->pid(), 101);
    // After a long run it comes back at once.
    loop.advance(5s);
    job->instanceExited(exitedWith(0));
    loop.runUntilIdle();
    EXPECT_EQ(job->pid(), 102);
}

TEST_F(JobOnVirtualClock, UnloadRemovesTheSocketAndKillsAnInstanceThatIgnoresSigterm) {
    auto job = makeJob(false);
    job->load();
    loop.signal(listeningFd, FdEvent::Readable);
    bool stopped = false;
    job->unload([&] { stopped = true; });
    EXPECT_FALSE(std::filesystem::exists(socketPath));
    EXPECT_EQ(processes.signals, (std::vector<std::pair<pid_t, int>>{{100, SIGTERM}}));

    loop.advance(Job::kStopGrace - 1ms);
    EXPECT_EQ(processes.signals.size(), 1U);
    loop.advance(1ms);
    EXPECT_EQ(processes.signals.back(), (std::pair<pid_t, int>{100, SIGKILL}));
    EXPECT_FALSE(stopped);

    job->instanceExited(killedBy(SIGKILL));
    loop.runUntilIdle();
    EXPECT_TRUE(stopped);
    EXPECT_EQ(processes.passedFds.size(), 1U) << "an unloaded job never starts again";
}

}  // namespace
}  // namespace lidora::vmac
