#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/codesign/SocketClientEnd.h"
#include "platform/vmac/FileDescriptor.h"

namespace lidora::vmac {
namespace {

std::uint64_t inodeOf(int fd) {
    struct stat info {};
    EXPECT_EQ(::fstat(fd, &info), 0);
    return info.st_ino;
}

// This process, with many descriptors open so the listing takes more than
// one read of the folder, holding the client end as each case says.
TEST(CheckHeldSinceLastExec, FindsTheConnectionAmongManyDescriptors) {
    enum class Held { withCloseOnExec, withoutCloseOnExec, closed };
    const struct {
        Held held;
        std::string error;  // empty: admitted
    } cases[] = {
        {Held::withCloseOnExec, ""},
        {Held::withoutCloseOnExec, "without close-on-exec"},
        {Held::closed, "does not hold the connection"},
    };
    std::vector<FileDescriptor> padding;
    for (int i = 0; i < 600; ++i) {
        padding.emplace_back(::open("/dev/null", O_RDONLY | O_CLOEXEC));
        ASSERT_TRUE(padding.back().valid());
    }
    for (const auto& c : cases) {
        int ends[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        FileDescriptor client(ends[0]);
        const FileDescriptor server(ends[1]);
        const auto inode = inodeOf(client.get());
        if (c.held == Held::withoutCloseOnExec) {
            ASSERT_EQ(::fcntl(client.get(), F_SETFD, 0), 0);
        }
        if (c.held == Held::closed) {
            client.reset();
        }
        // A hint where it is, one somewhere else, and none: the same verdict.
        const int number = c.held == Held::closed ? padding.front().get() : client.get();
        const std::vector<std::vector<int>> hints = {{}, {number}, {padding.back().get(), number}, {-1}};
        for (const auto& likely : hints) {
            const auto verdict = checkHeldSinceLastExec(::getpid(), inode, likely);
            if (c.error.empty()) {
                ASSERT_TRUE(verdict) << verdict.error();
                EXPECT_EQ(*verdict, number);
            } else {
                ASSERT_FALSE(verdict);
                EXPECT_NE(verdict.error().find(c.error), std::string::npos) << verdict.error();
            }
        }
    }
}

// One kept netlink socket, asked from several threads at once and after a
// question it could not answer: each answer is its own question's.
TEST(SocketDiagnostics, EachQuestionGetsItsOwnAnswer) {
    const SocketDiagnostics diagnostics;
    const auto askMany = [&diagnostics](int count, int* wrong) {
        for (int i = 0; i < count; ++i) {
            int ends[2];
            ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
            const FileDescriptor client(ends[0]);
            const FileDescriptor server(ends[1]);
            const auto answer = diagnostics.clientEndOf(server.get());
            if (!answer || *answer != inodeOf(client.get())) {
                ++*wrong;
            }
        }
    };
    int wrong[4] = {};
    {
        std::vector<std::jthread> threads;
        for (int& count : wrong) {
            threads.emplace_back([&askMany, &count] { askMany(100, &count); });
        }
    }
    EXPECT_THAT(wrong, ::testing::Each(0));

    // Not a Unix socket: the kernel says it knows none by that inode.
    int pipe[2];
    ASSERT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
    const FileDescriptor reading(pipe[0]);
    const FileDescriptor writing(pipe[1]);
    EXPECT_FALSE(diagnostics.clientEndOf(reading.get()));
    EXPECT_FALSE(diagnostics.clientEndOf(-1));
    int after = 0;
    askMany(10, &after);
    EXPECT_EQ(after, 0);
}

TEST(CheckHeldSinceLastExec, NoSuchProcessIsRefused) {
    const auto verdict = checkHeldSinceLastExec(0x3fffffff, 1);
    ASSERT_FALSE(verdict);
    EXPECT_NE(verdict.error().find("cannot list the descriptors"), std::string::npos);
}

}  // namespace
}  // namespace lidora::vmac
