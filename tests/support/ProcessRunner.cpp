#include "tests/support/ProcessRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "platform/process/ChildProcess.h"
#include "platform/vmac/AtomicFile.h"

namespace lidora::testing {

ProcessResult runProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& environment) {
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe");
    }
    vmac::FileDescriptor outRead(out[0]);
    vmac::FileDescriptor outWrite(out[1]);
    vmac::FileDescriptor errRead(err[0]);
    vmac::FileDescriptor errWrite(err[1]);
    const vmac::FileDescriptor null(::open("/dev/null", O_RDONLY | O_CLOEXEC));

    vmac::SpawnRequest request;
    request.program = argv.front();
    request.arguments = argv;
    std::vector<std::string> entries;
    for (const auto& [key, value] : environment) {
        entries.push_back(key + "=" + value);
    }
    request.environment = vmac::environmentWith(entries);
    request.descriptors = {null.get(), outWrite.get(), errWrite.get()};
    const auto pid = vmac::spawnChild(request);
    outWrite = vmac::FileDescriptor();
    errWrite = vmac::FileDescriptor();
    ProcessResult result;
    if (!pid) {
        result.err =
            "cannot " + std::string(pid.error().step) + " " + argv.front() + ": " + std::strerror(pid.error().error);
        return result;
    }
    pollfd fds[2] = {{outRead.get(), POLLIN, 0}, {errRead.get(), POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0) {
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) {
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            char buffer[4096];
            const auto n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                fds[i].fd = -1;
                --open;
            }
        }
    }
    const auto exit = vmac::waitForChild(*pid);
    if (!exit) {
        result.err += "cannot wait for " + argv.front() + ": " + std::strerror(exit.error());
        return result;
    }
    result.status = exit->signal != 0 ? 128 + exit->signal : exit->status;
    return result;
}

}  // namespace lidora::testing
