#include "platform/process/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

namespace {

// One message from a child to the parent. A write this small is atomic, so
// the parent reads whole messages. `step` is a string literal, at the same
// address in the child as in the parent it was forked from.
struct Report {
    pid_t pid = 0;
    const char* step = nullptr;  // null: `pid` is the program's process
    int error = 0;
};

std::vector<char*> pointersTo(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    pointers.reserve(strings.size() + 1);
    for (auto& string : strings) {
        pointers.push_back(string.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// Only async-signal-safe calls from here on: this runs between fork and exec.
void send(int report, const Report& message) {
    while (::write(report, &message, sizeof message) < 0 && errno == EINTR) {
    }
}

[[noreturn]] void fail(int report, const char* step) {
    send(report, Report{::getpid(), step, errno});
    ::_exit(127);
}

[[noreturn]] void becomeProgram(SpawnRequest& request, char* const* argv, char* const* envp, int report) {
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::signal(SIGPIPE, SIG_DFL);

    // Everything moves above the target range first, so no dup2 below can
    // overwrite a descriptor still to be placed.
    const int base = static_cast<int>(request.descriptors.size());
    const int moved = ::fcntl(report, F_DUPFD_CLOEXEC, base);
    if (moved < 0) {
        fail(report, "pass the descriptors");
    }
    report = moved;
    for (auto& fd : request.descriptors) {
        fd = ::fcntl(fd, F_DUPFD_CLOEXEC, base);
        if (fd < 0) {
            fail(report, "pass the descriptors");
        }
    }
    if (request.programFd >= 0) {
        request.programFd = ::fcntl(request.programFd, F_DUPFD_CLOEXEC, base);
        if (request.programFd < 0) {
            fail(report, "pass the descriptors");
        }
    }
    for (int target = 0; target < base; ++target) {
        if (::dup2(request.descriptors[static_cast<std::size_t>(target)], target) < 0) {
            fail(report, "pass the descriptors");
        }
    }
    ::close_range(static_cast<unsigned>(base), ~0U, CLOSE_RANGE_CLOEXEC);
    if (request.beforeExec) {
        if (const char* step = request.beforeExec()) {
            fail(report, step);
        }
    }
    if (request.programFd >= 0) {
        ::fexecve(request.programFd, argv, envp);
    } else {
        ::execve(request.program.c_str(), argv, envp);
    }
    fail(report, "execute");
}

[[noreturn]] void runChild(SpawnRequest& request, char* const* argv, char* const* envp, int report) {
    if (request.detached) {
        ::setsid();
        const pid_t program = ::fork();
        if (program != 0) {
            send(report, program < 0 ? Report{0, "fork", errno} : Report{program, nullptr, 0});
            ::_exit(0);
        }
    } else if (request.newSession) {
        ::setsid();
    }
    becomeProgram(request, argv, envp, report);
}

Expected<ChildExit, int> waitOnce(pid_t pid, int options, bool& done) {
    int status = 0;
    pid_t waited = 0;
    do {
        waited = ::waitpid(pid, &status, options);
    } while (waited < 0 && errno == EINTR);
    if (waited < 0) {
        return unexpected(errno);
    }
    done = waited == pid;
    if (!done) {
        return ChildExit{};
    }
    if (WIFSIGNALED(status)) {
        return ChildExit{0, WTERMSIG(status)};
    }
    return ChildExit{WEXITSTATUS(status), 0};
}

}  // namespace

Expected<pid_t, SpawnFailure> spawnChild(SpawnRequest& request) {
    if (request.arguments.empty()) {
        request.arguments.push_back(request.program.string());
    }
    auto argv = pointersTo(request.arguments);
    auto envp = pointersTo(request.environment);

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        return unexpected(SpawnFailure{"create a pipe", errno});
    }
    const FileDescriptor readEnd(pipeFds[0]);
    FileDescriptor writeEnd(pipeFds[1]);
    const pid_t child = ::fork();
    if (child < 0) {
        return unexpected(SpawnFailure{"fork", errno});
    }
    if (child == 0) {
        runChild(request, argv.data(), envp.data(), writeEnd.get());
    }
    writeEnd = FileDescriptor();

    // The pipe reaches its end when the program has been exec'd or the
    // child is gone.
    pid_t program = request.detached ? 0 : child;
    std::optional<SpawnFailure> failure;
    for (;;) {
        Report message;
        const ssize_t got = ::read(readEnd.get(), &message, sizeof message);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got != static_cast<ssize_t>(sizeof message)) {
            break;
        }
        if (message.step != nullptr) {
            failure = SpawnFailure{message.step, message.error};
        } else {
            program = message.pid;
        }
    }
    if (request.detached || failure) {
        // A child that reported a failure, or the go-between of a detached
        // program, has ended or is about to.
        bool done = false;
        [[maybe_unused]] const auto reaped = waitOnce(child, 0, done);
    }
    if (failure) {
        return unexpected(*failure);
    }
    if (program <= 0) {
        return unexpected(SpawnFailure{"fork", ECHILD});
    }
    return program;
}

Expected<ChildExit, int> waitForChild(pid_t pid) {
    bool done = false;
    return waitOnce(pid, 0, done);
}

Expected<std::optional<ChildExit>, int> checkChild(pid_t pid) {
    bool done = false;
    auto exit = waitOnce(pid, WNOHANG, done);
    if (!exit) {
        return unexpected(exit.error());
    }
    return done ? std::optional<ChildExit>(*exit) : std::nullopt;
}

std::vector<std::string> environmentWith(const std::vector<std::string>& entries) {
    std::vector<std::string> environment = entries;
    const auto replaced = [&](const char* entry) {
        const char* equals = std::strchr(entry, '=');
        const std::size_t nameLength = equals != nullptr ? static_cast<std::size_t>(equals - entry) + 1 : 0;
        for (const auto& own : entries) {
            if (nameLength > 0 && own.compare(0, nameLength, entry, nameLength) == 0) {
                return true;
            }
        }
        return false;
    };
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (!replaced(*entry)) {
            environment.emplace_back(*entry);
        }
    }
    return environment;
}

}  // namespace lidora::vmac
