#include "platform/process/SystemToolRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>

#include "core/text/UnicodeText.h"
#include "platform/process/ChildProcess.h"
#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

std::string launchErrorDescription(int error, const std::string& toolName) {
    switch (error) {
        case ENOENT: return "The file \u201c" + toolName + "\u201d doesn\u2019t exist.";
        case EACCES:
        case EPERM:
            return "The file \u201c" + toolName +
                   "\u201d couldn\u2019t be opened because you don\u2019t have permission "
                   "to view it.";
        default: return std::strerror(error);
    }
}

std::optional<std::string> SystemToolRunner::readUntilEnd(int fd, std::string& bytes) const {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + limits_.timeout;
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return "it did not finish within " + std::to_string(limits_.timeout.count()) + " ms";
        }
        pollfd readable{fd, POLLIN, 0};
        if (::poll(&readable, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) {
            return std::string("its output could not be read (") + std::strerror(errno) + ")";
        }
        if (readable.revents == 0) {
            continue;
        }
        const auto n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, static_cast<std::size_t>(n));
            if (bytes.size() > limits_.maxOutputBytes) {
                return "its output passed " + std::to_string(limits_.maxOutputBytes) + " bytes";
            }
        } else if (n == 0 || errno != EINTR) {
            return std::nullopt;
        }
    }
}

CommandResult SystemToolRunner::run(const std::vector<std::string>& arguments) const {
    const std::string toolName = std::filesystem::path(macPath_).filename().string();
    const auto couldNotRun = [&](const std::string& why) {
        return CommandResult{kLaunchFailureStatus, "Could not run " + toolName + ": " + why};
    };

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        return couldNotRun(launchErrorDescription(errno, toolName));
    }
    const FileDescriptor readEnd(pipeFds[0]);
    FileDescriptor writeEnd(pipeFds[1]);
    const FileDescriptor null(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (!null.valid()) {
        return couldNotRun(launchErrorDescription(errno, toolName));
    }

    SpawnRequest request;
    request.program = paths_.systemPath(macPath_);
    request.arguments = {macPath_};
    request.arguments.insert(request.arguments.end(), arguments.begin(), arguments.end());
    request.environment = environmentWith({});
    request.descriptors = {null.get(), writeEnd.get(), writeEnd.get()};
    const auto pid = spawnChild(request);
    writeEnd = FileDescriptor();
    if (!pid) {
        return couldNotRun(launchErrorDescription(pid.error().error, toolName));
    }

    std::string bytes;
    const auto overrun = readUntilEnd(readEnd.get(), bytes);
    if (overrun) {
        ::kill(*pid, SIGKILL);
    }
    const auto exit = waitForChild(*pid);
    if (overrun) {
        return couldNotRun(*overrun);
    }
    if (!exit) {
        return couldNotRun(std::string("its exit went unseen (") + std::strerror(exit.error()) + ")");
    }
    // A tool killed by a signal reports the signal number, as a task's
    // termination status does.
    return CommandResult{exit->signal != 0 ? exit->signal : exit->status, decodingUtf8Lossily(bytes)};
}

}  // namespace lidora::vmac
