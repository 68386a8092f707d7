#pragma once

#include "platform/launchd/JobProcesses.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// Starts job instances the way launchd does: from the program file opened
// when the job was loaded (when it was), in a session of their own, as
// the job's user when launchd runs as root, in "/", with stdin from
// /dev/null and output appended to the job's log, and the listening
// sockets as fd 3 onwards announced by LISTEN_FDS, LISTEN_PID and
// LISTEN_FDNAMES, marked as processes of this virtual Mac. Keeps a pid file
// for each running instance.
class ProcessLauncher final : public JobProcesses {
public:
    explicit ProcessLauncher(VmacPaths paths) : paths_(std::move(paths)) {}

    Expected<pid_t, std::string> start(const LaunchJob& job, const std::vector<int>& listeningFds) override;
    void signal(pid_t pid, int signal) override;
    void ended(const LaunchJob& job, pid_t pid) override;

private:
    VmacPaths paths_;
};

}  // namespace lidora::vmac
