#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/process/ChildProcess.h"
#include "platform/process/SystemToolRunner.h"
#include "platform/vmac/AtomicFile.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/TempDir.h"

namespace lidora::vmac {
namespace {

SpawnRequest shell(const std::string& script, std::vector<int> descriptors) {
    SpawnRequest request;
    request.program = "/bin/sh";
    request.arguments = {"sh", "-c", script};
    request.environment = {"GREETING=hello"};
    request.descriptors = std::move(descriptors);
    return request;
}

std::string readAll(int fd) {
    std::string bytes;
    char buffer[256];
    ssize_t got = 0;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0) {
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    return bytes;
}

// While it lives, children are reaped by the kernel, so no wait can see
// their exit: as for a program started with SIGCHLD ignored.
class ChildrenReapedUnseen {
public:
    ChildrenReapedUnseen() {
        ignore_.sa_handler = SIG_IGN;
        ::sigaction(SIGCHLD, &ignore_, &previous_);
    }
    ~ChildrenReapedUnseen() { ::sigaction(SIGCHLD, &previous_, nullptr); }
    ChildrenReapedUnseen(const ChildrenReapedUnseen&) = delete;
    ChildrenReapedUnseen& operator=(const ChildrenReapedUnseen&) = delete;

private:
    struct sigaction ignore_ {};
    struct sigaction previous_ {};
};

TEST(ChildProcess, RunsWithTheGivenDescriptorsAndEnvironmentAndReportsItsExit) {
    int pipeFds[2];
    ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
    const FileDescriptor readEnd(pipeFds[0]);
    FileDescriptor writeEnd(pipeFds[1]);
    const FileDescriptor null(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    // One descriptor may fill several places.
    auto request = shell("echo $GREETING; echo again >&3; exit 3", {null.get(), writeEnd.get(), 2, writeEnd.get()});
    const auto pid = spawnChild(request);
    writeEnd = FileDescriptor();
    ASSERT_TRUE(pid) << pid.error().step;
    EXPECT_EQ(readAll(readEnd.get()), "hello\nagain\n");
    const auto exit = waitForChild(*pid);
    ASSERT_TRUE(exit);
    EXPECT_EQ(*exit, (ChildExit{3, 0}));
}

TEST(ChildProcess, ReportsTheStepThatFailedInsteadOfAPid) {
    struct Case {
        const char* what;
        SpawnRequest request;
        std::string step;
        int error;
    };
    auto missing = shell("", {0, 1, 2});
    missing.program = "/nonexistent/program";
    auto badDescriptor = shell("", {0, 1, 2, 999});
    auto refusedStep = shell("", {0, 1, 2});
    refusedStep.beforeExec = [] {
        errno = EPERM;
        return "set the user";
    };
    auto detachedMissing = missing;
    detachedMissing.detached = true;
    Case cases[] = {
        {"no such program", missing, "execute", ENOENT},
        {"a closed descriptor", badDescriptor, "pass the descriptors", EBADF},
        {"a failing step before exec", refusedStep, "set the user", EPERM},
        {"a detached program", detachedMissing, "execute", ENOENT},
    };
    for (auto& c : cases) {
        const auto pid = spawnChild(c.request);
        ASSERT_FALSE(pid) << c.what;
        EXPECT_EQ(pid.error().step, c.step) << c.what;
        EXPECT_EQ(pid.error().error, c.error) << c.what;
    }
}

TEST(ChildProcess, AFailedWaitIsAFailureNeverAnExitStatus) {
    EXPECT_EQ(waitForChild(1).error(), ECHILD) << "not our child";
    EXPECT_EQ(checkChild(1).error(), ECHILD);

    auto detached = shell("exit 0", {0, 1, 2});
    detached.detached = true;
    const auto grandchild = spawnChild(detached);
    ASSERT_TRUE(grandchild);
    EXPECT_EQ(waitForChild(*grandchild).error(), ECHILD) << "a detached program is not ours to wait for";

    testing::TempDir root;
    std::filesystem::create_directories(root.path() / "bin");
    std::filesystem::create_symlink("/bin/sh", root.path() / "bin" / "sh");
    const SystemToolRunner tool("/bin/sh", VmacPaths(root.path()));
    EXPECT_EQ(tool.run({"-c", "echo out; echo err >&2; exit 3"}), (CommandResult{3, "out\nerr\n"}));
    EXPECT_EQ(tool.run({"-c", "kill -TERM $$"}), (CommandResult{SIGTERM, ""}));
    EXPECT_EQ(SystemToolRunner("/usr/bin/nothing", VmacPaths(root.path())).run({}),
              (CommandResult{kLaunchFailureStatus,
                             "Could not run nothing: The file \u201cnothing\u201d doesn\u2019t exist."}));

    // A hung or chattering tool is killed, never waited on without end.
    const SystemToolRunner bounded("/bin/sh", VmacPaths(root.path()), {std::chrono::milliseconds(100), 1000});
    EXPECT_EQ(bounded.run({"-c", "exec sleep 30"}),
              (CommandResult{kLaunchFailureStatus, "Could not run sh: it did not finish within 100 ms"}));
    EXPECT_EQ(bounded.run({"-c", "exec yes"}),
              (CommandResult{kLaunchFailureStatus, "Could not run sh: its output passed 1000 bytes"}));

    const ChildrenReapedUnseen unseen;
    EXPECT_EQ(tool.run({"-c", "exit 0"}),
              (CommandResult{kLaunchFailureStatus, "Could not run sh: its exit went unseen (No child processes)"}));
    const auto run = testing::runProcess({"/bin/sh", "-c", "exit 0"});
    EXPECT_EQ(run.status, -1);
    EXPECT_EQ(run.err, "cannot wait for /bin/sh: No child processes");
}

}  // namespace
}  // namespace lidora::vmac
